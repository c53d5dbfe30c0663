#!/usr/bin/env bash
# ./kit bench --quick still runs and prints a ratio for each benchmark, so the benchmarks cannot rot.
# No timing is judged. The install benchmark (a minute: fresh prefixes and a reinstall's mandated
# pauses) is left to ./kit bench itself; this runs window up and refresh, in the tests' own prefix.
#   bench_quick_test.sh SOURCE_DIR
set -u
source=$1
export KIT_BENCH_PREFIX=${KIT_WINEPREFIX:-}
[ -n "$KIT_BENCH_PREFIX" ] || unset KIT_BENCH_PREFIX
output=$("$source/kit" bench --no-build --quick --only window,refresh 2>&1)
rc=$?
echo "$output"
[ "$rc" -eq 0 ] || { echo "FAIL: ./kit bench exited with $rc"; exit 1; }
for name in "window up" "refresh"; do
    echo "$output" | grep -Eq "^bench $name: program median [0-9.]+ ms .* floor median [0-9.]+ ms .* ratio [0-9.]+ " ||
        { echo "FAIL: no ratio line for $name"; exit 1; }
    echo "$output" | grep -Eq "^\| $name +\| +[0-9.]+ \| +[0-9.]+ \| +[0-9.]+ \|" ||
        { echo "FAIL: no table row for $name"; exit 1; }
done
