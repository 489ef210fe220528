#!/bin/sh
# Installs what building and testing need on Debian or Ubuntu: a C++ compiler,
# CMake, make and GoogleTest. Installs with apt-get when run as root; otherwise
# says what to install. Arguments add what other steps need: "coverage" gcovr
# for the coverage report; "package" the Debian packaging tools and lintian;
# "windows-package" the MinGW-w64 cross compiler, NSIS, zip and Wine for the
# Windows installer and its check; "drivers" QEMU, a static busybox, cpio and
# Python for the emulated PC of `make test-drivers` (without the packages that
# QEMU only recommends: a display, firmware for other machines).
set -e

missing=""
apt_options=""
command -v g++ >/dev/null 2>&1 || missing="$missing g++"
command -v cmake >/dev/null 2>&1 || missing="$missing cmake"
command -v make >/dev/null 2>&1 || missing="$missing make"
[ -f /usr/include/gtest/gtest.h ] || missing="$missing libgtest-dev"
[ -f /usr/include/benchmark/benchmark.h ] || missing="$missing libbenchmark-dev"
[ -f /usr/include/editline/readline.h ] || missing="$missing libedit-dev"
for extra in "$@"; do
    case $extra in
        coverage)
            command -v gcovr >/dev/null 2>&1 || missing="$missing gcovr" ;;
        package)
            command -v dpkg-shlibdeps >/dev/null 2>&1 || missing="$missing dpkg-dev"
            command -v lintian >/dev/null 2>&1 || missing="$missing lintian"
            command -v groff >/dev/null 2>&1 || missing="$missing groff-base" ;;
        windows-package)
            command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 ||
                missing="$missing g++-mingw-w64-x86-64"
            command -v makensis >/dev/null 2>&1 || missing="$missing nsis"
            command -v zip >/dev/null 2>&1 || missing="$missing zip"
            command -v unzip >/dev/null 2>&1 || missing="$missing unzip"
            command -v groff >/dev/null 2>&1 || missing="$missing groff-base"
            command -v wine >/dev/null 2>&1 || missing="$missing wine"
            [ -x /usr/lib/wine/wine64 ] || missing="$missing wine64" ;;
        drivers)
            command -v qemu-system-x86_64 >/dev/null 2>&1 || missing="$missing qemu-system-x86"
            dpkg-query -W -f='${Status}' busybox-static 2>/dev/null | grep -q " installed" ||
                missing="$missing busybox-static"
            command -v cpio >/dev/null 2>&1 || missing="$missing cpio"
            command -v python3 >/dev/null 2>&1 || missing="$missing python3"
            apt_options="--no-install-recommends" ;;
        *)
            echo "install-deps.sh: unknown argument $extra" >&2
            exit 2 ;;
    esac
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "Installing:$missing"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $apt_options $missing
    exit 0
fi

echo "Missing:$missing" >&2
echo "Install them as root, for example:" >&2
echo "    sudo apt-get install -y$missing" >&2
exit 1
