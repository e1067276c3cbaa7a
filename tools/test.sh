#!/bin/bash
# Builds tarnel twice, plainly and with AddressSanitizer + UndefinedBehaviorSanitizer
# (halting on the first error), and runs the whole ctest suite in both builds.
# Ends with ctest's summary of the plain build; exits non-zero when any test
# failed in either build.
#   TARNEL_BUILD  build folder (default: build); the sanitizer build is $TARNEL_BUILD-asan
#   TARNEL_JOBS   parallel compile jobs and tests (default: 2)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARNEL_BUILD:-$root/build}
jobs=${TARNEL_JOBS:-2}

# The fuzz targets carry their own sanitizers: built and run once, in the plain build.
# The sanitizer build runs each unit test program whole (in two shards):
# a process per test costs more than the tests there. The plain build
# reports each test on its own line.
cmake -S "$root" -B "$build-asan" -DTARNEL_SANITIZE=ON -DTARNEL_TESTS=ON -DTARNEL_FUZZ=OFF \
    -DTARNEL_TESTS_PER_PROGRAM=ON
cmake --build "$build-asan" -j"$jobs"
# The README's first command configures this folder without the tests.
cmake -S "$root" -B "$build" -DTARNEL_TESTS=ON
cmake --build "$build" -j"$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

status=0
# Two tests at a time: most of the time is spent waiting on serial read passes.
echo "=== Tests of the sanitizer build ($build-asan)"
(cd "$build-asan" && ctest --output-on-failure -j"$jobs") || status=1
echo "=== Tests of the plain build ($build)"
(cd "$build" && ctest --output-on-failure -j"$jobs") || status=1
if [ "$status" != 0 ]; then
    echo "test.sh: tests failed (see both summaries above)" >&2
fi
exit "$status"
