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
set -e
cd "$(dirname "$0")/.."
host_build=${1:-build}
win_build=${2:-build-windows}
jobs=${JOBS:-2}

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

# A throw-away prefix inside the build dir; no Mono or Gecko installers.
WINEPREFIX="$(pwd)/$win_build/wineprefix"
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    # Without 32-bit Wine the first start reports a missing 32-bit helper and
    # fails; the 64-bit prefix is complete all the same.
    wineboot --init >"$win_build/wineboot.log" 2>&1 || true
    # The server writes the registry out when it ends.
    wineserver --wait
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        cat "$win_build/wineboot.log" >&2
        echo "Could not create the Wine prefix." >&2
        exit 1
    fi
fi
# COM7 is a port of the prefix for the port list test: Wine knows a COM port
# by the name the system lists only when its mount manager registers it at
# start, from this key (a test that maps COM7 to a pty still re-links it).
wine reg add 'HKLM\Software\Wine\Ports' /v COM7 /d "$WINEPREFIX/com7" /f >/dev/null 2>&1
wineserver --wait
# One server for the whole run instead of one per program start. Its
# background services start now, away from the pipes of the tests: a test
# reads the program's output until every holder of the pipe has closed it.
wineserver --persistent >/dev/null 2>&1
trap 'wineserver --kill >/dev/null 2>&1' EXIT INT TERM
wine cmd /c exit </dev/null >/dev/null 2>&1

echo "== Unit tests (Windows build, under Wine)"
wine "$win_build/tests/unit_tests.exe" </dev/null
echo "== Win32 port layer tests (under Wine)"
wine "$win_build/tests/windows/win32_port_tests.exe" </dev/null

export VESTRIMOND_EXE="$(pwd)/$win_build/vestrimond.exe"
export VESTRIMOND_EXE_WRAPPER=wine
echo "== Console transcripts and simulator tests against $VESTRIMOND_EXE"
# One at a time: the simulated line hears a rate change within a short window,
# and under Wine a write returns before the simulator has read it (on Linux
# the port layer waits for that), so a loaded machine can make it miss one.
ctest --test-dir "$host_build" -L transcript --output-on-failure
