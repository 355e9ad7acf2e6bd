#!/usr/bin/env bash
# Adding a digest is one line in a data file plus a rebuild: a scratch build
# of the evidence tool over a copy of data/ must not know a harmless file,
# and must know it after its digest is appended and the build rerun.
#   data_round_trip.sh SOURCE_DIR SCRATCH_DIR [extra cmake args...]
set -euo pipefail
src="$1" scratch="$2"; shift 2
mkdir -p "$scratch"
rm -rf "$scratch/data"
cp -r "$src/data" "$scratch/data"
sample="$scratch/harmless.bin"
printf 'a harmless file that no table lists, made for the data round trip\n' > "$sample"
digest="$(md5sum "$sample" | cut -d' ' -f1)"

field() {  # $1 = key: the evidence tool's value for the sample
    "$scratch/build/evidence" "$sample" | sed -n "s/.*\"$1\":\"\([^\"]*\)\".*/\1/p"
}
build() {
    cmake --build "$scratch/build" --target evidence -j "$(nproc)" >"$scratch/build.log" 2>&1 ||
        { tail -40 "$scratch/build.log"; exit 1; }
}

cmake -S "$src" -B "$scratch/build" -DANTICHEAT_TESTS=OFF -DANTICHEAT_DATA_DIR="$scratch/data" "$@" >/dev/null
build
before="$(field tableKnownCheatDigest)" identity_before="$("$scratch/build/evidence" --version)"
[ "$before" = 0 ] || { echo "the unchanged tables already list the sample ($before)"; exit 1; }

printf '%s\tharmless sample of the data round trip\n' "$digest" >> "$scratch/data/known_cheat_digests.tsv"
build
after="$(field tableKnownCheatDigest)" identity_after="$("$scratch/build/evidence" --version)"
[ "$after" = 1 ] || { echo "the added digest $digest did not reach the build ($after)"; exit 1; }
[ "$identity_before" != "$identity_after" ] || { echo "the table identity did not change: $identity_after"; exit 1; }
echo "data round trip: the added digest fires ($identity_before -> $identity_after)"
