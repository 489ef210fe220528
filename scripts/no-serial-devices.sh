#!/bin/sh
# Runs a command in a private mount namespace whose /dev holds only what a
# console program needs: null, zero, full, random, urandom, tty, ptys of its
# own (ptmx, pts), a private shm and the fd links. No serial device of the
# machine is there. Everything that talks over a pty (the simulator and the
# program under test) runs inside.
#
# Wine needs this: it gives the machine's /dev/ttyS*, ttyUSB* and ttyACM* the
# first free COM numbers, and opens /dev/ttyS<n-1> for a COM port whose link
# in the prefix is missing or leads nowhere. On the machines that run the tests
# /dev/ttyS0 is the system console.
#
# As root the namespace is made with `unshare --mount`; otherwise through a
# user namespace (`unshare --user --map-root-user`, where the kernel allows
# it). When neither can be made, the command runs as it is only if the machine
# has no serial device at all; else the script refuses.
# Usage: scripts/no-serial-devices.sh COMMAND [ARG...]
set -e
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARG...]" >&2; exit 2; }

serial_devices() {
    for device in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
        [ -e "$device" ] && echo "$device"
    done
    return 0
}

if [ "${VESTRIMOND_NO_SERIAL_DEVICES:-}" != entered ]; then
    for how in "--mount" "--user --map-root-user --mount"; do
        # shellcheck disable=SC2086
        if unshare $how --propagation private true 2>/dev/null; then
            VESTRIMOND_NO_SERIAL_DEVICES=entered
            export VESTRIMOND_NO_SERIAL_DEVICES
            # shellcheck disable=SC2086
            exec unshare $how --propagation private sh "$0" "$@"
        fi
    done
    found=$(serial_devices)
    if [ -n "$found" ]; then
        echo "no-serial-devices.sh: cannot make a private mount namespace (unshare), and this" >&2
        echo "machine has serial devices that the command could reach:" $found >&2
        echo "Run as root, or where the kernel allows user namespaces." >&2
        exit 1
    fi
    echo "no-serial-devices.sh: no private mount namespace; this machine has no serial device" >&2
    exec "$@"
fi

# Inside the namespace: a tmpfs over /dev, with the few nodes bound from the
# machine's /dev (kept for the moment under a temporary name) and a devpts
# instance of its own.
machine_dev=$(mktemp -d /tmp/vestrimond-dev.XXXXXX)
mount --rbind /dev "$machine_dev"
mount -t tmpfs -o mode=755,size=1m vestrimond-dev /dev
for node in null zero full random urandom tty; do
    [ -e "$machine_dev/$node" ] || continue
    : >"/dev/$node"
    mount --bind "$machine_dev/$node" "/dev/$node"
done
umount -l "$machine_dev"
rmdir "$machine_dev"
mkdir /dev/pts /dev/shm
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 vestrimond-pts /dev/pts
ln -s pts/ptmx /dev/ptmx
mount -t tmpfs -o mode=1777,nosuid,nodev vestrimond-shm /dev/shm
ln -s /proc/self/fd /dev/fd
ln -s /proc/self/fd/0 /dev/stdin
ln -s /proc/self/fd/1 /dev/stdout
ln -s /proc/self/fd/2 /dev/stderr

found=$(serial_devices)
[ -z "$found" ] || { echo "no-serial-devices.sh: still present:" $found >&2; exit 1; }
unset VESTRIMOND_NO_SERIAL_DEVICES
exec "$@"
