#!/bin/sh
# Runs a command in a user namespace of its own whose binfmt_misc starts the
# programs of ARCH (arm64 or armhf) under qemu-user, so that a program built
# for ARCH, and every program it starts in turn (the console program, the
# simulator, a death test's new start of the test program), runs translated
# as it would run on the board. The registration lives and dies with the
# namespace: the machine's own binfmt_misc is not touched.
#
# User and group ids are mapped one to one, so files keep their owners and a
# test can still drop root's privileges to another user. Root of the
# namespace is not root of the machine, though: the kernel's exclusive flag of
# a terminal (TIOCEXCL) holds for it as for any user.
#
# A private binfmt_misc needs Linux 6.7 or later; the script says so and
# fails on an older kernel.
# Usage: scripts/qemu-user-namespace.sh ARCH COMMAND [ARG...]
set -e
[ $# -gt 1 ] || { echo "usage: $0 ARCH COMMAND [ARG...]" >&2; exit 2; }
arch=$1
shift

# The ELF header of the architecture's executables, as qemu's own binfmt
# entries match it: class, data, version, type, machine.
case $arch in
    arm64)
        qemu=qemu-aarch64
        magic='\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00' ;;
    armhf)
        qemu=qemu-arm
        magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x28\x00' ;;
    *)
        echo "qemu-user-namespace.sh: unknown architecture $arch" >&2
        exit 2 ;;
esac
mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

if [ "${VESTRIMOND_QEMU_NAMESPACE:-}" != entered ]; then
    interpreter=$(command -v "$qemu") || {
        echo "qemu-user-namespace.sh: $qemu is missing (package qemu-user)" >&2
        exit 1
    }
    # The namespace is made first; its id maps are written from out here, the
    # only side allowed to map more than one id; then the command goes on.
    fifos=$(mktemp -d /tmp/vestrimond-qemu-ns.XXXXXX)
    mkfifo "$fifos/made" "$fifos/mapped"
    VESTRIMOND_QEMU_NAMESPACE=entered VESTRIMOND_QEMU_INTERPRETER=$interpreter \
        unshare --user --mount --propagation private \
        sh -c 'echo >"$1/made"; read -r _ <"$1/mapped"; shift; exec sh "$@"' \
        sh "$fifos" "$0" "$arch" "$@" &
    inside=$!
    read -r _ <"$fifos/made"
    echo "0 0 4294967295" >"/proc/$inside/uid_map"
    echo "0 0 4294967295" >"/proc/$inside/gid_map"
    echo >"$fifos/mapped"
    rm -r "$fifos"
    status=0
    wait "$inside" || status=$?
    exit "$status"
fi

unset VESTRIMOND_QEMU_NAMESPACE
if ! mount -t binfmt_misc vestrimond-binfmt /proc/sys/fs/binfmt_misc 2>/dev/null; then
    echo "qemu-user-namespace.sh: no binfmt_misc of its own in a user namespace" >&2
    echo "(Linux $(uname -r); it needs 6.7 or later)" >&2
    exit 1
fi
# F: the interpreter is opened now, so that it is found from any root.
printf '%s\n' ":vestrimond-$qemu:M::$magic:$mask:$VESTRIMOND_QEMU_INTERPRETER:F" \
    >/proc/sys/fs/binfmt_misc/register
unset VESTRIMOND_QEMU_INTERPRETER
exec "$@"
