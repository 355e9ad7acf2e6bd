#!/usr/bin/env bash
# evidence.exe under Wine over every file of Wine's own 64-bit DLL folder:
# given through standard input, through a list file and as a walked
# directory, it describes every one of them as a parsed PE file.
#   wine_evidence.sh WINE_RUN EVIDENCE_EXE SCRATCH_DIR
set -euo pipefail
run="$1" exe="$2" scratch="$3"
dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
mkdir -p "$scratch"
winpath() { printf 'Z:%s' "${1//\//\\}"; }

find "$dlls" -maxdepth 1 -type f | sort | while read -r f; do winpath "$f"; printf '\r\n'; done >"$scratch/list.txt"
count="$(wc -l <"$scratch/list.txt")"
[ "$count" -gt 500 ] || { echo "only $count files in $dlls"; exit 1; }

check() {  # $1 = name, $2 = output file, $3 = exit status
    local lines parsed
    lines="$(wc -l <"$2")"
    parsed="$(grep -c '"fileType":"file","found":"1".*"peParsed":"1"' "$2" || true)"
    if [ "$3" != 0 ] || [ "$lines" != "$count" ] || [ "$parsed" != "$count" ]; then
        echo "$1: exit $3, $lines records, $parsed parsed PE files of $count"
        head -c 2000 "$2"
        exit 1
    fi
}

rc=0; "$run" "$exe" - <"$scratch/list.txt" >"$scratch/stdin.jsonl" || rc=$?
check "standard input" "$scratch/stdin.jsonl" "$rc"
rc=0; "$run" "$exe" "@$(winpath "$scratch/list.txt")" >"$scratch/list.jsonl" || rc=$?
check "list file" "$scratch/list.jsonl" "$rc"
cmp -s "$scratch/stdin.jsonl" "$scratch/list.jsonl" || { echo "list file and standard input differ"; exit 1; }
# A trailing separator, as Windows users type folders, still names the folder.
rc=0; "$run" "$exe" -r "$(winpath "$dlls")\\" >"$scratch/walk.jsonl" || rc=$?
check "directory walk" "$scratch/walk.jsonl" "$rc"

# Without -r a directory is a record of its own, and not a found file.
rc=0; out="$("$run" "$exe" "$(winpath "$dlls")")" || rc=$?
case "$rc:$out" in
    1:*'"fileType":"directory","found":"0"'*) ;;
    *) echo "directory without -r: exit $rc: $out"; exit 1 ;;
esac
"$run" "$exe" --version | grep -Eq '^evidence [0-9.]+ tables [0-9a-f]{64}' || { echo "no version line"; exit 1; }
echo "evidence.exe described all $count files of $dlls three ways"
