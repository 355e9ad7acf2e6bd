#!/usr/bin/env bash
# The main job: build the Linux module if needed and print what it reports
# about a live process (default: this interpreter itself).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${LINUX_PACKAGES[@]}"
find_python313
BUILD="$ROOT/build/linux"
configure_linux "$BUILD"
cmake --build "$BUILD" -j "$JOBS" --target anticheat >/dev/null || cmake --build "$BUILD" --target anticheat
PYTHONPATH="$BUILD/python" exec "$PYTHON313" "$ROOT/scripts/report.py" "$@"
