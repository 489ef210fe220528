#!/bin/sh
# Runs the fuzz targets built in BUILD (see the Makefile's fuzz targets).
#
#   run.sh BUILD SECONDS TARGET...   fuzz each target for SECONDS, one after
#                                    the other; 0 replays the seeds and the kept
#                                    corpus once instead
#   run.sh --merge BUILD TARGET...   minimise what the runs found, with the kept
#                                    corpus, into fuzz/corpus/TARGET
#
# Each run starts from fuzz/seeds/TARGET and fuzz/corpus/TARGET and adds what
# it finds to BUILD/fuzz-corpus/TARGET. Crashes go to BUILD/fuzz-artifacts,
# the fuzzer's log to BUILD/fuzz-logs/TARGET.log. The exit status is 1 when
# any target found something. With FUZZ_RUNS set in the environment, a target
# also stops after that many runs; FUZZ_FLAGS adds options of the fuzzer (for
# example -fork=2 for two processes).
set -u
cd "$(dirname "$0")/.."
here=$(pwd)

merge=0
if [ "${1:-}" = "--merge" ]; then
    merge=1
    shift
fi
build=$1
shift
if [ $merge = 0 ]; then
    seconds=$1
    shift
fi
case $build in /*) ;; *) build="$here/$build" ;; esac
mkdir -p "$build/fuzz-corpus" "$build/fuzz-artifacts" "$build/fuzz-logs"

# A file's name, when the same name is among the seeds, is the same input.
drop_seed_copies() {
    for input in "fuzz/corpus/$1"/*; do
        [ -e "fuzz/seeds/$1/$(basename "$input")" ] && rm -f "$input"
    done
    return 0
}

status=0
for target in "$@"; do
    program="$build/fuzz/fuzz_$target"
    work="$build/fuzz-corpus/$target"
    log="$build/fuzz-logs/$target.log"
    mkdir -p "$work" "fuzz/corpus/$target"
    if [ ! -x "$program" ]; then
        echo "fuzz: no program $program" >&2
        exit 1
    fi

    if [ $merge = 1 ]; then
        fresh="$build/fuzz-corpus/$target.merged"
        rm -rf "$fresh"
        mkdir -p "$fresh"
        "$program" -merge=1 "$fresh" "fuzz/seeds/$target" "fuzz/corpus/$target" "$work" \
            > "$log" 2>&1 || { echo "fuzz: merge of $target failed, see $log" >&2; exit 1; }
        rm -rf "fuzz/corpus/$target"
        mv "$fresh" "fuzz/corpus/$target"
        drop_seed_copies "$target"
        echo "$target: $(ls "fuzz/corpus/$target" | wc -l) inputs kept in fuzz/corpus/$target"
        continue
    fi

    set -- -print_final_stats=1 -timeout=10 -artifact_prefix="$build/fuzz-artifacts/$target-"
    [ -f "fuzz/dicts/$target.dict" ] && set -- "$@" -dict="fuzz/dicts/$target.dict"
    if [ "$seconds" = 0 ]; then
        set -- "$@" -runs=0 "fuzz/seeds/$target" "fuzz/corpus/$target"
    else
        [ -n "${FUZZ_RUNS:-}" ] && set -- "$@" -runs="$FUZZ_RUNS"
        # shellcheck disable=SC2086
        [ -n "${FUZZ_FLAGS:-}" ] && set -- "$@" $FUZZ_FLAGS
        set -- "$@" -max_total_time="$seconds" "$work" "fuzz/seeds/$target" "fuzz/corpus/$target"
    fi
    if "$program" "$@" > "$log" 2>&1; then
        verdict=clean
    else
        verdict="FOUND A FAULT, see $log"
        status=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    if [ -z "$runs" ]; then  # -fork: the last line of the parent's progress
        runs=$(sed -n 's/^#\([0-9]*\): .*/\1/p' "$log" | tail -n 1)
        seconds_run=$(sed -n 's/^#[0-9]*: .* time: \([0-9]*\)s .*/\1/p' "$log" | tail -n 1)
        [ -n "$runs" ] && [ -n "$seconds_run" ] && [ "$seconds_run" -gt 0 ] &&
            rate=$((runs / seconds_run))
    fi
    echo "$target: ${runs:-?} runs, ${rate:-?}/s: $verdict"
done
exit $status
