# Shared by the project's commands: installs missing Debian packages and finds
# CPython 3.13. Source it; it sets PYTHON313 and ROOT.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc 2>/dev/null || echo 2)"

ensure_packages() {
    local missing=()
    for p in "$@"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "installing: ${missing[*]}" >&2
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

find_python313() {
    local candidates=()
    if command -v pyenv >/dev/null 2>&1; then
        candidates+=("$(pyenv root)"/versions/3.13*/bin/python3.13)
    fi
    candidates+=("$HOME"/.pyenv/versions/3.13*/bin/python3.13 /usr/local/bin/python3.13 /usr/bin/python3.13)
    for c in "${candidates[@]}"; do
        if [ -x "$c" ] && "$c" -c 'import sysconfig,os,sys; sys.exit(0 if os.path.exists(os.path.join(sysconfig.get_paths()["include"],"Python.h")) else 1)' 2>/dev/null; then
            PYTHON313="$c"
            return 0
        fi
    done
    echo "CPython 3.13 with its headers was not found. Install it (for example 'pyenv install 3.13.0') and run again." >&2
    exit 1
}

LINUX_PACKAGES=(cmake g++ make pybind11-dev libgtest-dev googletest libbenchmark-dev libssl-dev openssl binutils mypy)
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 wine64 osslsigncode)
FUZZ_PACKAGES=(clang libclang-rt-14-dev)

configure_linux() {  # $1 = build dir, rest = extra cmake args
    local dir="$1"; shift
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE="$PYTHON313" "$@" >/dev/null
}
