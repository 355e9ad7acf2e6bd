#!/usr/bin/env bash
# The parsers fuzzer's corpus replay (clang, libFuzzer, ASan + UBSan): the
# generated seeds and the saved regression inputs, each run once by CTest.
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
ensure_packages "${FUZZ_PACKAGES[@]}"
find_python313

echo "== parsers fuzzer corpus replay (clang, ASan + UBSan)"
CXX=clang++ cmake -S "$ROOT" -B "$ROOT/build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DANTICHEAT_WERROR=ON \
    -DANTICHEAT_FUZZ=ON -DANTICHEAT_TESTS=OFF -DPython_EXECUTABLE="$PYTHON313" >/dev/null
cmake --build "$ROOT/build/fuzz" -j "$JOBS" --target parsers_fuzzer
(cd "$ROOT/build/fuzz" && ctest --output-on-failure -R '^parsers_fuzzer_corpus$')
