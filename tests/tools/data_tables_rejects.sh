#!/usr/bin/env bash
# The table generator stops the build on a slip in a data file, naming the
# file and line, instead of building a table whose entry never matches.
#   data_tables_rejects.sh SOURCE_DIR SCRATCH_DIR
set -uo pipefail
src="$1" scratch="$2"
failures=0

expect_rejected() {  # $1 = case name, $2 = table, $3 = line to append, $4 = expected message part
    rm -rf "$scratch/data" && cp -r "$src/data" "$scratch/data"
    printf '%s\n' "$3" >>"$scratch/data/$2.tsv"
    local out
    if out="$(cmake -DDATA_DIR="$scratch/data" -DOUT_DIR="$scratch/out" -DVERSION=0 \
                    -P "$src/cmake/data_tables.cmake" 2>&1)"; then
        echo "FAIL $1: accepted"; failures=$((failures + 1))
    elif out="$(tr -s '\n ' '  ' <<<"$out")"; [[ "$out" != *"$2.tsv:"*"$4"* ]]; then  # CMake wraps long lines
        echo "FAIL $1: unexpected message: $out"; failures=$((failures + 1))
    fi
}

mkdir -p "$scratch"
expect_rejected "short digest" known_cheat_digests $'abc123\tnote' "bad md5"
expect_rejected "uppercase digest" known_cheat_digests $'85BEB527CD2D9C91BF1CAE40ABFA6B9A\tnote' "bad md5"
expect_rejected "duplicate digest" known_cheat_digests $'85beb527cd2d9c91bf1cae40abfa6b9a\tagain' "listed twice"
expect_rejected "missing cell" tool_processes 'lonely.exe' "1 cells, expected 2"
expect_rejected "uppercase name" cheat_process_names $'Cheat.exe\tverdict' "bad name"
expect_rejected "unknown list" cheat_process_names $'cheat2.exe\tsometimes' "bad list"
expect_rejected "unknown confidence" fuzzy_corpus_layout_rules $'r\tf\tcertain\tupx_section' "bad confidence"
expect_rejected "semicolon" graphics_wrappers 'a;b.dll' "not allowed"

# The data as committed generates, and a second run leaves the headers alone.
rm -rf "$scratch/out"
cmake -DDATA_DIR="$src/data" -DOUT_DIR="$scratch/out" -DVERSION=0 -P "$src/cmake/data_tables.cmake" || failures=$((failures + 1))
stamp="$(stat -c %Y.%N "$scratch/out/checks/detection_tables.hpp" 2>/dev/null)"
sleep 1
cmake -DDATA_DIR="$src/data" -DOUT_DIR="$scratch/out" -DVERSION=0 -P "$src/cmake/data_tables.cmake" || failures=$((failures + 1))
[ "$stamp" = "$(stat -c %Y.%N "$scratch/out/checks/detection_tables.hpp")" ] ||
    { echo "FAIL: unchanged data rewrote the header"; failures=$((failures + 1)); }
[ "$failures" = 0 ] && echo "data table checks hold"
exit "$failures"
