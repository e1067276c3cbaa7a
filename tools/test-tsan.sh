#!/bin/bash
# Builds tarnel with ThreadSanitizer in build-tsan (or $TARNEL_BUILD-tsan) and
# runs the unit tests there (ctest -L unit), halting on the first data race.
# Ends with ctest's summary; exits non-zero when a test failed or a race was
# found.
#   TARNEL_BUILD  build folder prefix (default: build)
#   TARNEL_JOBS   parallel compile jobs and tests (default: 2)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARNEL_BUILD:-$root/build}-tsan
jobs=${TARNEL_JOBS:-2}

cmake -S "$root" -B "$build" -DTARNEL_TSAN=ON
cmake --build "$build" -j"$jobs" --target unit_tests

# halt_on_error: a race fails its test program rather than only being printed.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
cd "$build" && ctest --output-on-failure -j"$jobs" -L unit
