#!/bin/sh
# Builds the Windows program and its unit tests with MinGW-w64 and runs every
# test against them under Wine:
#   1. the unit tests and the Win32 port layer tests, built for Windows;
#   2. the console transcripts of the Linux build, against vestrimond.exe;
#   3. the simulator tests of the Linux build, against vestrimond.exe, with
#      COM<n> mapped to the simulator's pty in the Wine prefix.
# Usage: scripts/test-windows.sh [LINUX_BUILD_DIR [WINDOWS_BUILD_DIR]]
# The Linux build must be done (make build). Installs the cross compiler and
# Wine with apt-get when run as root; otherwise says what to install.
# Wine runs in a private mount namespace without the machine's serial devices
# (scripts/no-serial-devices.sh), together with everything it talks to.
set -e
cd "$(dirname "$0")/.."
inside=false
if [ "${1:-}" = --inside-namespace ]; then
    inside=true
    shift
fi
host_build=${1:-build}
win_build=${2:-build-windows}
jobs=${JOBS:-2}

if ! $inside; then
    missing=""
    command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || missing="$missing g++-mingw-w64-x86-64"
    command -v wine >/dev/null 2>&1 || missing="$missing wine"
    [ -x /usr/lib/wine/wine64 ] || missing="$missing wine64"
    [ -f /usr/src/googletest/CMakeLists.txt ] || missing="$missing googletest"
    if [ -n "$missing" ]; then
        if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
            echo "Installing:$missing"
            DEBIAN_FRONTEND=noninteractive apt-get update -qq
            # shellcheck disable=SC2086
            DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
        else
            echo "Missing:$missing" >&2
            echo "Install them as root, for example:" >&2
            echo "    sudo apt-get install -y$missing" >&2
            exit 1
        fi
    fi

    if [ ! -x "$host_build/tests/transcript_tests" ]; then
        echo "No Linux build in $host_build: run 'make build' first." >&2
        exit 1
    fi

    cmake -S . -B "$win_build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
    cmake --build "$win_build" -j"$jobs"

    exec sh scripts/no-serial-devices.sh sh scripts/test-windows.sh --inside-namespace "$host_build" "$win_build"
fi

# A throw-away prefix inside the build dir.
. scripts/wine-prefix.sh
start_wine "$(pwd)/$win_build/wineprefix"
trap 'wineserver --kill >/dev/null 2>&1' EXIT INT TERM
# COM3, COM7 and COM23 are ports of the prefix for the port list and the
# hints that name the ports that exist: Wine lists a COM port only once its
# mount manager has registered it, at the start of the server, from this key
# (a test that maps one of them to a pty still re-links it).
for port in COM3 COM7 COM23; do
    wine reg add 'HKLM\Software\Wine\Ports' /v $port /d "$WINEPREFIX/$(echo $port | tr A-Z a-z)" /f >/dev/null 2>&1
done
wineserver --kill >/dev/null 2>&1
start_wine "$WINEPREFIX"

echo "== Unit tests (Windows build, under Wine)"
wine "$win_build/tests/unit_tests.exe" </dev/null
echo "== Win32 port layer tests (under Wine)"
wine "$win_build/tests/windows/win32_port_tests.exe" </dev/null

export VESTRIMOND_EXE="$(pwd)/$win_build/vestrimond.exe"
export VESTRIMOND_EXE_WRAPPER=wine
echo "== Console transcripts and simulator tests against $VESTRIMOND_EXE"
# One at a time: a test maps a COM port to its simulator's pty by a link in
# the one Wine prefix, which every test shares; two tests at once would find
# each other's devices.
ctest --test-dir "$host_build" -L transcript --output-on-failure
