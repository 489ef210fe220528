#!/bin/sh
# Line coverage of the program's own code by the whole test suite: builds with
# gcov instrumentation into BUILD, runs every test and prints the coverage per
# folder. The tests, the simulator, the benchmark and the fuzz targets do not
# count. Every program of the build carries tests/coverage/abort_dump.cpp, so
# that the processes that end through fatal_exit count too. The report per
# file, with the lines not covered, is left in BUILD/coverage.txt.
#
#   scripts/coverage.sh [BUILD [JOBS]]
set -e
cd "$(dirname "$0")/.."
build=${1:-build-coverage}
jobs=${2:-2}
folders="common diagnostics console serial config rules angles transfer"

sh scripts/install-deps.sh coverage
mkdir -p "$build"
abort_dump="$(cd "$build" && pwd)/abort_dump.o"
"${CXX:-c++}" -c -O0 tests/coverage/abort_dump.cpp -o "$abort_dump"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="--coverage -O0" \
    -DCMAKE_EXE_LINKER_FLAGS="--coverage $abort_dump"
cmake --build "$build" -j"$jobs"
find "$build" -name '*.gcda' -exec rm -f {} +
tests=passed
ctest --test-dir "$build" -j"$jobs" --output-on-failure || tests=failed

filters=""
for folder in $folders; do filters="$filters --filter $folder/"; done
# shellcheck disable=SC2086
gcovr --root . --object-directory "$build" --exclude-directories "$build/CMakeFiles/[0-9]" \
    $filters --txt "$build/coverage.txt" \
    --csv "$build/coverage.csv" >/dev/null

echo
echo "Line coverage of the program's own code (per file: $build/coverage.txt)"
awk -F, -v folders="$folders" '
    NR > 1 {
        split($1, parts, "/")
        total[parts[1]] += $2
        covered[parts[1]] += $3
        all_total += $2
        all_covered += $3
    }
    END {
        n = split(folders, names, " ")
        for (i = 1; i <= n; i++) {
            f = names[i]
            if (total[f] > 0) printf "  %-10s %5d of %5d lines  %5.1f %%\n", f, covered[f], total[f], 100 * covered[f] / total[f]
        }
        if (all_total > 0) printf "  %-10s %5d of %5d lines  %5.1f %%\n", "all", all_covered, all_total, 100 * all_covered / all_total
    }' "$build/coverage.csv"
if [ "$tests" = failed ]; then
    echo "coverage: some tests failed" >&2
    exit 1
fi
