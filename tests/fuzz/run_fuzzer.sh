#!/bin/sh
# run_fuzzer.sh BINARY SECONDS SEED_DIR WORK_DIR
# Runs one libFuzzer target for SECONDS on a scratch copy of its seed corpus
# (the repository's seeds stay as they are); a crash, a leak, a sanitizer
# report or a timeout fails the run and leaves the input in WORK_DIR.
set -eu
bin=$1 seconds=$2 seeds=$3 work=$4
if [ ! -x "$bin" ]; then
    echo "fuzz target $bin not built" >&2
    exit 1
fi
mkdir -p "$work/corpus"
exec "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$seeds"
