#!/bin/sh
# Installs what building and testing need on Debian or Ubuntu: a C++ compiler,
# CMake, make and GoogleTest. Installs with apt-get when run as root; otherwise
# says what to install. Arguments add what other steps need: "coverage" gcovr
# for the coverage report; "package" the Debian packaging tools and lintian;
# "windows-package" the MinGW-w64 cross compiler, NSIS, zip, osslsigncode,
# openssl, Python and Wine for the Windows installer, its signature and its
# check; "arm64" and "armhf" Debian's cross compiler
# for that architecture, the target's run-time libraries that the program
# links (multiarch: the architecture is added to dpkg's) and qemu-user to run
# what was built; "drivers" QEMU's PC, a static busybox, cpio and Python for the
# emulated PC of `make test-drivers`; "drivers-arm64" QEMU's ARM machines, cpio
# and Python for the arm64 guest of `make test-drivers-arm64` (with "arm64" for
# the program's cross build; the guest's busybox is unpacked from its package
# by the bed, as the kernel is).
set -e

missing=""
# Installed without their recommendations: qemu-user's would register the
# emulator in the machine's binfmt_misc for every user of the machine, and
# QEMU's PC would bring a display and firmware for other machines.
missing_plain=""
architectures=""

# has_package NAME:ARCH: the package is installed.
has_package() {
    dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null | grep -q '^ii'
}
command -v g++ >/dev/null 2>&1 || missing="$missing g++"
command -v cmake >/dev/null 2>&1 || missing="$missing cmake"
command -v make >/dev/null 2>&1 || missing="$missing make"
[ -f /usr/include/gtest/gtest.h ] || missing="$missing libgtest-dev"
[ -f /usr/include/benchmark/benchmark.h ] || missing="$missing libbenchmark-dev"
# The machine's own libedit-dev: the header alone may be another
# architecture's copy.
has_package "libedit-dev:$(dpkg --print-architecture)" || missing="$missing libedit-dev"
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
            command -v osslsigncode >/dev/null 2>&1 || missing="$missing osslsigncode"
            command -v openssl >/dev/null 2>&1 || missing="$missing openssl"
            command -v python3 >/dev/null 2>&1 || missing="$missing python3"
            command -v wine >/dev/null 2>&1 || missing="$missing wine"
            [ -x /usr/lib/wine/wine64 ] || missing="$missing wine64" ;;
        arm64 | armhf)
            case $extra in
                arm64) triplet=aarch64-linux-gnu qemu=qemu-aarch64 ;;
                armhf) triplet=arm-linux-gnueabihf qemu=qemu-arm ;;
            esac
            dpkg --print-foreign-architectures | grep -qx "$extra" ||
                architectures="$architectures $extra"
            command -v "$triplet-g++" >/dev/null 2>&1 ||
                missing_plain="$missing_plain crossbuild-essential-$extra"
            command -v "$qemu" >/dev/null 2>&1 || missing_plain="$missing_plain qemu-user"
            [ -f /usr/src/googletest/CMakeLists.txt ] || missing_plain="$missing_plain googletest"
            for library in libstdc++6 libedit2; do
                has_package "$library:$extra" || missing_plain="$missing_plain $library:$extra"
            done ;;
        drivers)
            command -v qemu-system-x86_64 >/dev/null 2>&1 ||
                missing_plain="$missing_plain qemu-system-x86"
            has_package busybox-static || missing_plain="$missing_plain busybox-static"
            command -v cpio >/dev/null 2>&1 || missing_plain="$missing_plain cpio"
            command -v python3 >/dev/null 2>&1 || missing_plain="$missing_plain python3" ;;
        drivers-arm64)
            command -v qemu-system-aarch64 >/dev/null 2>&1 ||
                missing_plain="$missing_plain qemu-system-arm"
            command -v cpio >/dev/null 2>&1 || missing_plain="$missing_plain cpio"
            command -v python3 >/dev/null 2>&1 || missing_plain="$missing_plain python3" ;;
        *)
            echo "install-deps.sh: unknown argument $extra" >&2
            exit 2 ;;
    esac
done

[ -z "$missing$missing_plain" ] && exit 0

if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "Installing:$missing$missing_plain"
    for architecture in $architectures; do
        dpkg --add-architecture "$architecture"
    done
    # A list that a mirror fails to give (one architecture's, say) leaves the
    # others usable: the install says what it cannot find.
    DEBIAN_FRONTEND=noninteractive apt-get update -qq ||
        echo "install-deps.sh: some package lists were not updated" >&2
    # shellcheck disable=SC2086
    [ -z "$missing" ] || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
    # shellcheck disable=SC2086
    [ -z "$missing_plain" ] ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing_plain
    exit 0
fi

echo "Missing:$missing$missing_plain" >&2
echo "Install them as root, for example:" >&2
for architecture in $architectures; do
    echo "    sudo dpkg --add-architecture $architecture" >&2
done
[ -z "$architectures" ] || echo "    sudo apt-get update" >&2
echo "    sudo apt-get install -y$missing$missing_plain" >&2
exit 1
