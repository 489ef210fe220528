#!/bin/busybox sh
# The init of the guest of `make test-drivers` (tests/drivers/bed.py fills in
# the modules, the environment, the links to the ports that a board's udev
# rules would make, and the steps): it runs the steps one after the
# other, each once the bed has wired its port to a simulator, sends each
# step's results to the bed over the virtio console, and powers the guest off.
/bin/busybox --install -s /bin
export PATH=/bin HOME=/root @ENV@
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
@LINKS@
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

# The start of a step: the bed wires the port, then says go.
begin() {
    name=$1
    port=$2
    user=$3
    device=/dev/$port
    out=/tmp/results/$name.$port
    mkdir -p "$out"
    echo "@@bed ready $name $port"
    read -r answer
    # A plugged adapter takes a moment to show up.
    wait_for "$device" 100 || echo "no $device" >"$out/setup"
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

# The program as the step's user, its standard streams as given; a program
# that hangs is killed after a minute.
run_program() {
    if [ "$user" = root ]; then
        exec timeout -s KILL 60 /bin/vestrimond "$@"
    else
        exec su -p -s /bin/sh "$user" -c "exec timeout -s KILL 60 /bin/vestrimond $*"
    fi
}

# Runs the program with the step's input; its output and status go to the
# step's results under the name $1.
program() {
    (run_program <"$input" >"$out/$1.stdout" 2>"$out/$1.stderr")
    echo $? >"$out/$1.status"
}

# The program, timed.
timed_program() {
    start=$(now)
    program main
    echo $(($(now) - start)) >"$out/main.centiseconds"
}

# A program that holds the port: it gets the first line of the step's input
# now ("connect 2") and waits for the rest; its results go under the name $1.
hold_port() {
    holder_name=$1
    rm -f /tmp/holder.in
    mkfifo /tmp/holder.in
    (run_program </tmp/holder.in >"$out/$1.stdout" 2>"$out/$1.stderr") &
    holder=$!
    exec 3>/tmp/holder.in
    head -n 1 "$input" >&3
    wait_text "$out/$1.stdout" "Connected at"
    cat "/run/lock/LCK..$port" >"$out/lock-held" 2>/dev/null
    echo "$holder" >"$out/$1.pid"
}

# Ends the holder: with the rest of its input, the end of its input, or a signal.
end_holder() {
    case $1 in
        input) tail -n +2 "$input" >&3 ;;
        eof) ;;
        *) kill "-$1" "$holder" ;;
    esac
    exec 3>&-
    wait "$holder"
    echo $? >"$out/$holder_name.status"
}

# The driver's view of the modem lines and the low-latency flag, from a
# second descriptor opened before the program's.
watch_lines() {
    modem_lines "/dev/$port" >"$out/lines" 2>&1 &
    watcher=$!
    sleep 0.2
}

# What the lines show now, under the name $1.
lines_now() {
    sleep 0.1
    tail -n 1 "$out/lines" >"$out/$1"
}

# The adapter's latency timer, under the name $1.
latency_timer() {
    cat "/sys/bus/usb-serial/devices/$port/latency_timer" >"$out/$1" 2>/dev/null
}

# A session: the program runs with the step's input.
session() {
    begin "$@"
    timed_program
    finish
}

# A session with the UART's receive FIFO set to interrupt at $4 bytes; the
# level the driver took is kept, and the old one set again.
trigger() {
    begin "$@"
    level=/sys/class/tty/$port/rx_trig_bytes
    before=$(cat "$level")
    echo "$4" >"$level"
    cat "$level" >"$out/trigger"
    timed_program
    echo "$before" >"$level"
    finish
}

# The port list of the guest's real sysfs.
listing() {
    begin "$@"
    /bin/vestrimond --list-ports >"$out/main.stdout" 2>"$out/main.stderr"
    echo $? >"$out/main.status"
    finish
}

# While the program holds the port: DTR and RTS as the driver has them, the
# low-latency flag and the adapter's latency timer, and the lock file.
hold() {
    begin "$@"
    latency_timer latency-before
    watch_lines
    lines_now lines-before
    hold_port main
    lines_now lines-held
    latency_timer latency-held
    end_holder input
    lines_now lines-after
    latency_timer latency-after
    kill "$watcher"
    finish
}

# A second program while the first holds the port, then a third once the
# first has ended; the holder's lines are watched throughout.
second() {
    begin "$@"
    watch_lines
    saved_user=$user
    user=root
    hold_port holder
    user=$saved_user
    lines_now lines-held
    program main
    lines_now lines-after-second
    end_holder input
    program after
    kill "$watcher"
    finish
}

# The holder ends by $4 (eof, or a signal); then the next program connects.
ended() {
    begin "$@"
    hold_port holder
    end_holder "$4"
    sleep 0.2
    cp "/run/lock/LCK..$port" "$out/lock-after-holder" 2>/dev/null
    program main
    finish
}

# busybox microcom, a terminal program that takes the UUCP lock, holds the
# port while the program tries it; then the program holds the port while
# microcom tries.
terminal() {
    begin "$@"
    rm -f /tmp/microcom.in
    mkfifo /tmp/microcom.in
    microcom -s 19200 "/dev/$port" </tmp/microcom.in >/dev/null 2>"$out/microcom.stderr" &
    microcom=$!
    exec 4>/tmp/microcom.in
    wait_for "/run/lock/LCK..$port" 50
    program main
    kill "$microcom"
    exec 4>&-
    wait "$microcom"
    hold_port holder
    timeout 5 microcom -s 19200 "/dev/$port" </dev/null >/dev/null 2>"$out/other.stderr"
    echo $? >"$out/other.status"
    end_holder input
    finish
}

# A stale lock of a process that is gone does not keep the program off.
stale() {
    begin "$@"
    sh -c 'exit 0' &
    gone=$!
    wait "$gone"
    printf '%10d\n' "$gone" >"/run/lock/LCK..$port"
    program main
    finish
}

# The doctor, with the arguments of the last line of the step's input, in
# the situation $4: none; "held", the program holding the port by the first
# line of the input; "getty", a login console on the port.
doctor() {
    begin "$@"
    case ${4:-} in
        held) hold_port holder ;;
        getty)
            getty -w -n -i -l /bin/true 19200 "$port" vt100 </dev/null >/dev/null 2>&1 &
            console=$!
            sleep 0.5
            ;;
    esac
    args=$(tail -n 1 "$input")
    # shellcheck disable=SC2086
    (run_program $args </dev/null >"$out/main.stdout" 2>"$out/main.stderr")
    echo $? >"$out/main.status"
    case ${4:-} in
        held) end_holder eof ;;
        getty)
            kill "$console"
            wait "$console"
            ;;
    esac
    finish
}

# The host pulls the adapter out in the middle of what the input does.
unplug() {
    session "$@"
}

@STEPS@
echo "@@bed end"
poweroff -f
