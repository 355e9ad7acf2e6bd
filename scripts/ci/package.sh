#!/usr/bin/env bash
# What ships: the cross-built Windows module's PE facts, the Linux module's
# dynamic symbols, the stub against the field tables, the install in the
# wheel's layout, and the two typed clients under mypy. Runs after both builds.
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
find_python313
LINUX="$ROOT/build/linux"
WINDOWS="$ROOT/build/windows"
STAGE="$ROOT/build/stage"
fail() { echo "package check failed: $*" >&2; exit 1; }

echo "-- Windows module"
PYD="$WINDOWS/python/anticheat.cp313-win_amd64.pyd"
[ -f "$PYD" ] || fail "$PYD was not built"
python3 "$ROOT/scripts/ci/pe_module_check.py" x86_64-w64-mingw32-objdump "$PYD"
# The check itself must reject a DLL that exports other names and no PyInit.
FIXTURE="$WINDOWS/fixtures/fixture_module.dll"
if [ -f "$FIXTURE" ] && python3 "$ROOT/scripts/ci/pe_module_check.py" x86_64-w64-mingw32-objdump "$FIXTURE" >/dev/null; then
    fail "the PE check accepted $FIXTURE"
fi

echo "-- Linux module: dynamic symbols"
SO="$(ls "$LINUX"/python/anticheat.cpython-313-*.so)"
SYMBOLS="$(nm -D --defined-only "$SO" | awk '{print $NF}')"
[ "$SYMBOLS" = "PyInit_anticheat" ] || fail "$SO exports: $(echo $SYMBOLS | head -c 400)"
if nm "$SO" 2>&1 | grep -q " ac::\|_ZN2ac"; then fail "$SO is not stripped"; fi
echo "$(basename "$SO"): exports PyInit_anticheat only, stripped"

echo "-- Stub generated from the field tables"
"$LINUX/anticheat_stubgen" | diff -u "$ROOT/src/module/anticheat.pyi" - \
    || fail "src/module/anticheat.pyi is stale: build/linux/anticheat_stubgen > src/module/anticheat.pyi"

echo "-- Install in the wheel's layout"
rm -rf "$STAGE"
cmake --install "$LINUX" --prefix "$STAGE/linux" --component python >/dev/null
cmake --install "$WINDOWS" --prefix "$STAGE/windows" --component python >/dev/null
for layout in "linux:$(basename "$SO")" "windows:anticheat.cp313-win_amd64.pyd"; do
    dir="$STAGE/${layout%%:*}"
    expected="$(printf '%s\n' "${layout#*:}" anticheat-stubs/__init__.pyi anticheat.pyi | sort)"
    actual="$(cd "$dir" && find . -type f | sed 's|^\./||' | sort)"
    [ "$actual" = "$expected" ] || fail "$dir holds:"$'\n'"$actual"
done
PYTHONPATH="$STAGE/linux" "$PYTHON313" -c 'import anticheat; assert anticheat.inspect_process(0, None)["scanLevel"] == "medium"'
VERSION="$(sed -n 's/^project(anticheat VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
python3 - "$ROOT/pyproject.toml" "$ROOT/CMakeLists.txt" "$VERSION" <<'PY'
import re, sys, tomllib
pyproject, cmakelists, version = sys.argv[1:]
meta = tomllib.load(open(pyproject, "rb"))["tool"]["scikit-build"]["metadata"]["version"]
found = re.search(meta["regex"], open(cmakelists).read())
assert found and found.group("value") == version, (found, version)
PY
echo "staged both modules with their stubs; package version $VERSION"

echo "-- Typed clients under mypy"
# Only the stub package, as site-packages holds it: mypy must resolve it by PEP 561.
mkdir -p "$STAGE/site-packages"
cp -r "$STAGE/linux/anticheat-stubs" "$STAGE/site-packages/"
MYPY_OPTIONS=(--no-incremental --cache-dir=/dev/null --strict --warn-unreachable --enable-error-code redundant-expr)
(cd "$ROOT" && PYTHONPATH="$STAGE/site-packages" mypy "${MYPY_OPTIONS[@]}" tests/typing/client_ok.py)
(cd "$ROOT" && PYTHONPATH="$STAGE/site-packages" python3 scripts/ci/mypy_expectations.py tests/typing/client_mistakes.py "${MYPY_OPTIONS[@]}")
