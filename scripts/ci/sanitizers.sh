#!/usr/bin/env bash
# The unit and Linux end-to-end suites built with AddressSanitizer and
# UndefinedBehaviorSanitizer (g++, no recovery): any report fails the run.
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
find_python313

echo "== Sanitizers (ASan + UBSan): unit and Linux end-to-end tests"
SANITIZE="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
configure_linux "$ROOT/build/asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DANTICHEAT_WERROR=ON -DANTICHEAT_TESTS=ON \
    -DCMAKE_CXX_FLAGS="$SANITIZE" -DCMAKE_EXE_LINKER_FLAGS="$SANITIZE"
cmake --build "$ROOT/build/asan" -j "$JOBS" --target unit_tests linux_tests
(cd "$ROOT/build/asan" &&
    ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:strict_string_checks=1" \
    UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
    ctest --output-on-failure -R '^(unit|linux)\.')
