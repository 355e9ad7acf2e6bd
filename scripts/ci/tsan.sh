#!/usr/bin/env bash
# The thread-stress test built with ThreadSanitizer (g++) in build/tsan: four
# threads call every operation at once on live processes and changing files.
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
find_python313

echo "== thread stress under ThreadSanitizer"
cmake -S "$ROOT" -B "$ROOT/build/tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPython_EXECUTABLE="$PYTHON313" \
      -DANTICHEAT_TESTS=ON -DANTICHEAT_WERROR=ON \
      -DCMAKE_CXX_FLAGS="-fsanitize=thread" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build "$ROOT/build/tsan" -j "$JOBS" --target thread_stress_tests
# Without address-space randomisation: kernels with high mmap entropy place
# mappings where the sanitizer's shadow memory must go.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ANTICHEAT_STRESS_SECONDS="${ANTICHEAT_STRESS_SECONDS:-5}" \
    setarch "$(uname -m)" -R "$ROOT/build/tsan/thread_stress_tests"
