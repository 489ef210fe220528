#!/bin/busybox sh
# The init of the guest of `make test-drivers` (tests/drivers/bed.py fills in
# the modules, the environment and the steps): it runs the steps one after the
# other, each once the bed has wired its port to a simulator, sends each
# step's results to the bed over the virtio console, and powers the guest off.
/bin/busybox --install -s /bin
export PATH=/bin HOME=/root @ENV@
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /run/lock /var
chmod 1777 /run/lock /tmp
ln -s /run/lock /var/lock
for module in @MODULES@; do insmod /lib/modules/$module; done
tries=0
while [ ! -e /dev/hvc0 ] && [ $tries -lt 100 ]; do sleep 0.1; tries=$((tries + 1)); done
exec </dev/hvc0 >/dev/hvc0 2>&1
stty raw -echo
echo 1 >/proc/sys/kernel/printk
cd /bed

# Centiseconds since boot.
now() {
    read -r up rest </proc/uptime
    echo "${up%.*}${up#*.}"
}

# Waits up to $2 tenths of a second for the file $1 to exist.
wait_for() {
    tries=0
    while [ ! -e "$1" ] && [ $tries -lt "$2" ]; do sleep 0.1; tries=$((tries + 1)); done
    [ -e "$1" ]
}

# Waits up to 10 seconds for the text $2 in the file $1.
wait_text() {
    tries=0
    while ! grep -q "$2" "$1" 2>/dev/null && [ $tries -lt 100 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
}

# Runs a command as the user $1.
as_user() {
    user=$1
    shift
    if [ "$user" = root ]; then
        "$@"
    else
        su -p -s /bin/sh "$user" -c "$*"
    fi
}

# The start of a step: the bed wires the port, then says go.
begin() {
    name=$1
    port=$2
    user=$3
    out=/tmp/results/$name.$port
    mkdir -p "$out"
    echo "@@bed ready $name $port"
    read -r answer
    if [ "$port" = ttyUSB0 ] && ! wait_for /dev/ttyUSB0 100; then
        echo "no adapter" >"$out/setup"
    fi
    chgrp dialout "/dev/$port"
    chmod 660 "/dev/$port"
    input=/bed/input/$name.$port
}

# The end of a step: every result file, base64-encoded, then done.
finish() {
    [ -e "/run/lock/LCK..$port" ] && cp "/run/lock/LCK..$port" "$out/lock-left"
    for file in "$out"/*; do
        echo "@@bed file $(basename "$file")"
        base64 "$file"
        echo "@@bed end"
    done
    echo "@@bed done $name $port"
}

# Runs the program with the step's input; its output, status and time go to
# the step's results under the name $1.
program() {
    as_user "$user" /bin/vestrimond <"$input" >"$out/$1.stdout" 2>"$out/$1.stderr"
    echo $? >"$out/$1.status"
}

# A session: the program runs with the step's input.
session() {
    begin "$@"
    start=$(now)
    program main
    echo $(($(now) - start)) >"$out/main.centiseconds"
    finish
}

@STEPS@
echo "@@bed end"
poweroff -f
