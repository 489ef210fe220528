#!/bin/sh
# Builds the program, the simulator and every test for an ARM architecture
# (arm64 or armhf) with Debian's cross compiler, and runs the tests under
# qemu-user: the unit tests, the console transcripts, the port layer and
# simulator tests over ptys, and the transfers against the simulator. Every
# program the tests start (the console program, the simulator, a death test's
# new start of the test program) runs under qemu-user as well, through the
# binfmt_misc of a namespace of its own (scripts/qemu-user-namespace.sh).
# The tests run in a private /dev without the machine's serial devices
# (scripts/no-serial-devices.sh), like the Windows program under Wine.
# Usage: scripts/test-arm.sh ARCH [BUILD_DIR]
# Installs the cross compiler, the target's libraries and qemu-user when run
# as root (scripts/install-deps.sh ARCH); otherwise says what to install.
set -e
cd "$(dirname "$0")/.."
arch=${1:-}
case $arch in
    arm64 | armhf) ;;
    *) echo "usage: $0 arm64|armhf [BUILD_DIR]" >&2; exit 2 ;;
esac
build=${2:-build-$arch}
jobs=${JOBS:-2}

sh scripts/install-deps.sh "$arch"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/linux-$arch.cmake"
cmake --build "$build" -j"$jobs"

echo "== Every test of the $arch build, under qemu-user"
exec sh scripts/qemu-user-namespace.sh "$arch" sh scripts/no-serial-devices.sh \
    ctest --test-dir "$build" --output-on-failure -j"$jobs"
