#!/bin/bash
# Builds tarnel with ThreadSanitizer in build-tsan (or $TARNEL_BUILD-tsan),
# runs the unit tests of the layers that run threads there (app and port:
# the per-port workers, the stop signal, the port locks), then the end-to-end tests of the
# parallel paths against the ThreadSanitizer programs: detection of a bank,
# sending from several ports, reading and read-and-clear of several ports,
# the menu's read, two runs at once on the same ports, the health of a bank
# (menu key 4), the health step of sends and USSD on a bank, sms watch with
# a watcher per modem. Halts on the first
# data race. Ends with ctest's summary; exits non-zero when a test failed or
# a race was found.
#   TARNEL_BUILD  build folder prefix (default: build)
#   TARNEL_JOBS   parallel compile jobs and tests (default: 2)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARNEL_BUILD:-$root/build}-tsan
jobs=${TARNEL_JOBS:-2}

# Each test program runs whole (in two shards): starting a ThreadSanitizer
# process per test would cost more than the tests.
cmake -S "$root" -B "$build" -DTARNEL_TSAN=ON -DTARNEL_TESTS=ON -DTARNEL_TESTS_PER_PROGRAM=ON
# Only the threaded layers' tests: the codec, model and utility layers run on
# one thread, and their sanitizer runs are in test.sh. The app tests also
# build both programs.
cmake --build "$build" -j"$jobs" --target app_tests port_tests

# halt_on_error: a race fails its test program rather than only being printed
# (the end-to-end bench passes TSAN_OPTIONS on to the programs it runs, whose
# report on standard error and exit status fail their test).
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
cd "$build"
status=0
# The unit test programs built above.
ctest --output-on-failure -j"$jobs" -R '^(app|port)_tests\.shard[0-9]+$' || status=1
ctest --output-on-failure -j"$jobs" -R '^e2e\.(bank|health_menu|health_send|read_menu|runs_together|send_cmdline|sms_subcommands|sms_watch|ussd)$' || status=1
exit "$status"
