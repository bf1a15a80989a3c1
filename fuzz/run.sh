#!/usr/bin/env bash
# Runs one libFuzzer target for a number of seconds on a working copy of its
# seed corpus; crashes, hangs and leaks are left in fuzz-out/TARGET/.
#   fuzz/run.sh TARGET SECONDS [BUILD_DIR]
# TARGET: network_reader, network_reader_vi, generator or options.
set -euo pipefail
cd "$(dirname "$0")/.."
target=$1
seconds=$2
build=${3:-build-fuzz}
seeds=fuzz/corpus/$target
work=fuzz-out/$target
mkdir -p "$work/corpus" "$work/artifacts"
cp -n "$seeds"/* "$work/corpus/" 2>/dev/null || true
exec "$build/fuzz_$target" "$work/corpus" \
  -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=30 -max_len=8192 \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1
