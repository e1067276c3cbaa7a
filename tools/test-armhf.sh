#!/bin/bash
# Cross-builds both programs and the unit tests for 32-bit ARM (armhf) and
# runs the unit tests under qemu-arm. End-to-end tests stay with the native
# builds. Each test program runs whole under the emulator (in two shards):
# starting qemu-arm once per test took longer than the tests. Needs
# `tools/setup.sh --armhf` first.
#   TARNEL_BUILD_ARMHF  build folder (default: build-armhf); CI passes the
#                       armhf package's build folder, so that the tests run
#                       against the objects the package ships and nothing
#                       is compiled twice
#   TARNEL_JOBS         parallel compile jobs (default: 2)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARNEL_BUILD_ARMHF:-$root/build-armhf}
jobs=${TARNEL_JOBS:-2}

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-armhf.cmake" \
    -DTARNEL_TESTS=ON -DTARNEL_TESTS_PER_PROGRAM=ON
cmake --build "$build" -j"$jobs" --target tarnel tarnel-zh unit_tests
# Make sure these really are ARM programs, not a host build by accident.
for program in tarnel tarnel-zh; do
    readelf -h "$build/$program" | grep -q "Machine:.*ARM"
done
cd "$build"
ctest -L unit --output-on-failure -j"$jobs"
