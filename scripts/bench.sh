#!/usr/bin/env bash
# Runs every benchmark program of a build tree and prints their figures.
set -euo pipefail
build=${1:-build-bench}
status=0
for program in "$build"/bench/bench_*; do
  [ -x "$program" ] || continue
  echo "== $(basename "$program")"
  "$program" --benchmark_counters_tabular=true || status=1
done
exit $status
