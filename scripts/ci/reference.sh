#!/usr/bin/env bash
# docs/reference.md must be what tools/reference.cpp prints from the field
# tables and bench/figures.tsv. With --write, rewrites it instead.
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
build="$ROOT/build/linux"
if [ ! -f "$build/CMakeCache.txt" ]; then
    find_python313
    configure_linux "$build" -DANTICHEAT_WERROR=ON -DANTICHEAT_TESTS=ON
fi
cmake --build "$build" --target reference -j "$JOBS" >/dev/null
generated="$(mktemp)"
trap 'rm -f "$generated"' EXIT
"$build/reference" "$ROOT/src/reports/fields.hpp" "$ROOT/bench/figures.tsv" >"$generated"

if [ "${1:-}" = "--write" ]; then
    cp "$generated" "$ROOT/docs/reference.md"
    echo "docs/reference.md written"
elif ! diff -u "$ROOT/docs/reference.md" "$generated"; then
    echo "docs/reference.md is out of date. Regenerate it with:" >&2
    echo "    bash scripts/ci/reference.sh --write" >&2
    exit 1
else
    echo "docs/reference.md is current"
fi
