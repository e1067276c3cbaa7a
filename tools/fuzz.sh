#!/bin/sh
# tools/fuzz.sh [-t SECONDS] [-b BUILD_DIR] [TARGET...]
# Builds the libFuzzer targets of tests/fuzz with clang (ASan + UBSan) and runs
# each named target (default: all) for SECONDS (default 600), one after the
# other on one core, on a scratch corpus seeded from tests/fuzz/corpus/<target>.
# Prints each target's executions and whether it found a crash; exits 1 if any did.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=600
build="$root/build-fuzz"
while getopts t:b: opt; do
    case $opt in
    t) seconds=$OPTARG ;;
    b) build=$OPTARG ;;
    *) echo "usage: $0 [-t SECONDS] [-b BUILD_DIR] [TARGET...]" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))

cmake -S "$root/tests/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j1 >/dev/null

if [ $# -eq 0 ]; then
    set -- $(cd "$root/tests/fuzz" && ls fuzz_*.cpp | sed 's/^fuzz_//; s/\.cpp$//')
fi
failed=0
for target in "$@"; do
    work="$build/work/$target"
    log="$work/fuzz.log"
    mkdir -p "$work"
    if "$root/tests/fuzz/run_fuzzer.sh" "$build/fuzz_$target" "$seconds" \
        "$root/tests/fuzz/corpus/$target" "$work" >"$log" 2>&1; then
        verdict="no crash"
    else
        verdict="CRASH (see $log and $work/crash-*)"
        failed=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    echo "$target: ${runs:-0} executions in ${seconds}s, $verdict"
done
exit $failed
