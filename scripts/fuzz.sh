#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each for SECONDS (default 30), starting from the corpus in fuzz/corpus. New
# inputs collect in a scratch copy; the repository's corpus is not changed.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for target in launch_name failure_text; do
  mkdir -p "$scratch/$target"
  cp fuzz/corpus/$target/* "$scratch/$target/"
  echo "== fuzzing $target for $seconds s"
  status=0
  build/fuzz/${target}_fuzzer -max_total_time="$seconds" -print_final_stats=1 "$scratch/$target" \
    >"$scratch/$target.log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|==[0-9]+==ERROR|SUMMARY)' "$scratch/$target.log" || true
  if ((status != 0)); then
    tail -40 "$scratch/$target.log"
    echo "fuzz: $target found a failure (exit code $status)" >&2
    exit 1
  fi
done
