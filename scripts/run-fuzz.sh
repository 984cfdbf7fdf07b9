#!/usr/bin/env bash
# Runs each fuzz target for SECONDS on its committed seed corpus plus the
# corpus it grew in earlier runs (kept in the build folder). A crash, leak,
# hang or sanitizer report fails the run; the input that caused it is left in
# BUILD/fuzz-run/NAME/artifacts.
#
# usage: run-fuzz.sh BUILD SECONDS NAME...
set -uo pipefail
cd "$(dirname "$0")/.."
build=$1
seconds=$2
shift 2

passed=0
failed=0
for name in "$@"; do
  work="$build/fuzz-run/$name"
  mkdir -p "$work/corpus" "$work/artifacts"
  echo "fuzz $name: ${seconds} s"
  if "$build/fuzz/korvex_fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
      -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
      "$work/corpus" "fuzz/corpus/$name" >"$work/log" 2>&1; then
    passed=$((passed + 1))
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$work/log" | tr '\n' ' '
    echo
  else
    failed=$((failed + 1))
    echo "fuzz $name FAILED (log: $work/log):"
    grep -E -A30 '^==[0-9]+==|ERROR: libFuzzer|SUMMARY' "$work/log" | head -60
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
