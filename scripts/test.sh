#!/usr/bin/env bash
# Every test: the Linux build (unit, Linux end to end, Python contract), the
# Windows build under Wine, and the PE fuzzer's corpus replay under sanitizers.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${LINUX_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"
find_python313

echo "== Linux build"
configure_linux "$ROOT/build/linux" -DANTICHEAT_WERROR=ON -DANTICHEAT_TESTS=ON
cmake --build "$ROOT/build/linux" -j "$JOBS"
(cd "$ROOT/build/linux" && ctest --output-on-failure)
bash "$ROOT/scripts/ci/reference.sh"
bash "$ROOT/scripts/ci/tsan.sh"

echo "== Windows build (MinGW-w64, tests under Wine)"
cmake -S "$ROOT" -B "$ROOT/build/windows" -DCMAKE_BUILD_TYPE=Release -DANTICHEAT_WERROR=ON \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
      -DANTICHEAT_PYTHON_INCLUDE_DIR="$("$PYTHON313" -c 'import sysconfig; print(sysconfig.get_paths()["include"])')" >/dev/null
cmake --build "$ROOT/build/windows" -j "$JOBS"
mkdir -p "$ROOT/build/windows/wineprefix"
WINEDEBUG=-all WINEPREFIX="$ROOT/build/windows/wineprefix" WINEDLLOVERRIDES="mscoree,mshtml=" \
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
(cd "$ROOT/build/windows" && ctest --output-on-failure)
bash "$ROOT/scripts/ci/package.sh"

bash "$ROOT/scripts/ci/sanitizers.sh"

bash "$ROOT/scripts/ci/parsers-fuzz.sh"
if [ -f "$ROOT/cmake/fuzz.cmake" ]; then
    echo "== PE fuzzer corpus replay (clang, ASan + UBSan)"
    CXX=clang++ cmake -S "$ROOT" -B "$ROOT/build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DANTICHEAT_FUZZ=ON -DANTICHEAT_TESTS=OFF -DPython_EXECUTABLE="$PYTHON313" >/dev/null
    cmake --build "$ROOT/build/fuzz" -j "$JOBS" --target pe_fuzzer
    (cd "$ROOT/build/fuzz" && ctest --output-on-failure)
fi
bash "$ROOT/scripts/ci/attacks.sh"
echo "== all tests passed"
