#!/bin/sh
# Starts the console with COM1 wired to a simulated device on a line that runs
# at its real rate (--pace), so that a download or a firmware update takes the
# time it takes on a device; the simulator is stopped when the console ends.
build=${1:-build}
sim="$build/sim/vestrimond-sim"
console="$build/vestrimond"

if [ ! -x "$sim" ]; then
    echo "(no simulator built: the console runs without a device)"
    exec "$console"
fi

dir=$(mktemp -d /tmp/vestrimond-run.XXXXXX)
link="$dir/com1"
"$sim" --pace --link "$link" >"$dir/sim.out" 2>"$dir/sim.err" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null; rm -rf "$dir"' EXIT INT TERM

# Wait for the simulator's pty to appear.
tries=0
while [ ! -e "$link" ] && [ $tries -lt 50 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
if [ ! -e "$link" ]; then
    echo "The simulator did not start:" >&2
    cat "$dir/sim.err" >&2
    exit 1
fi

echo "COM1 is a simulated Vestrimond ($link). Try: connect 1"
VESTRIMOND_COM1="$link" "$console"
status=$?
exit $status
