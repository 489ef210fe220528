#!/bin/sh
# Installs what building and testing need on Debian or Ubuntu: a C++ compiler,
# CMake, make and GoogleTest. Installs with apt-get when run as root; otherwise
# says what to install. With the argument "coverage", also gcovr for the
# coverage report.
set -e

missing=""
command -v g++ >/dev/null 2>&1 || missing="$missing g++"
command -v cmake >/dev/null 2>&1 || missing="$missing cmake"
command -v make >/dev/null 2>&1 || missing="$missing make"
[ -f /usr/include/gtest/gtest.h ] || missing="$missing libgtest-dev"
[ -f /usr/include/benchmark/benchmark.h ] || missing="$missing libbenchmark-dev"
[ -f /usr/include/editline/readline.h ] || missing="$missing libedit-dev"
if [ "${1:-}" = coverage ]; then
    command -v gcovr >/dev/null 2>&1 || missing="$missing gcovr"
fi

[ -z "$missing" ] && exit 0

if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "Installing:$missing"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
    exit 0
fi

echo "Missing:$missing" >&2
echo "Install them as root, for example:" >&2
echo "    sudo apt-get install -y$missing" >&2
exit 1
