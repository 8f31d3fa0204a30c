#!/usr/bin/env bash
# Runs every benchmark program of a (Release) build tree, each under GNU time
# for its peak resident set, then starts qxrtrans itself offscreen for its
# peak at start-up. The figures go to the terminal and, as JSON and text, to
# <build>/bench-results/; docs/performance.md keeps them with their targets.
#
#   scripts/bench.sh [build-dir]          (make bench builds build-bench first)
#   BENCH_FILTER=regex scripts/bench.sh   (only the benchmarks that match)
set -euo pipefail
build=${1:-build-bench}
results="$build/bench-results"
mkdir -p "$results"
export QT_QPA_PLATFORM=offscreen
status=0

echo "bench: $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)" |
  tee "$results/summary.txt"

for program in "$build"/bench/bench_*; do
  [ -x "$program" ] || continue
  name=$(basename "$program")
  echo "== $name"
  args=(--benchmark_counters_tabular=true --benchmark_out="$results/$name.json" --benchmark_out_format=json)
  [ -n "${BENCH_FILTER:-}" ] && args+=(--benchmark_filter="$BENCH_FILTER")
  if ! /usr/bin/time -f "%M" -o "$results/$name.rss" "$program" "${args[@]}"; then
    echo "bench: $name failed" >&2
    status=1
  fi
  echo "$name: peak resident set $(tail -n 1 "$results/$name.rss") KiB" | tee -a "$results/summary.txt"
done

# The line's own time: a block-mode send against the emulator at 9600 bit/s
# beside the wire time of its bytes (bench/bench_wire.sh; about 35 s).
if [ -z "${BENCH_FILTER:-}" ] || [[ wire =~ ${BENCH_FILTER} ]]; then
  echo "== bench_wire"
  if ! "$(dirname "$0")/../bench/bench_wire.sh" "$build" | tee -a "$results/summary.txt"; then
    echo "bench: bench_wire failed" >&2
    status=1
  fi
fi

# The shop service: 16 emulated controllers at 9600 bit/s driven by one qxrd
# through its API, one send alone and 16 at once (bench/bench_service.py;
# about a minute).
if [ -x "$build/tools/qxrd/qxrd" ] && { [ -z "${BENCH_FILTER:-}" ] || [[ service =~ ${BENCH_FILTER} ]]; }; then
  echo "== bench_service"
  if ! /usr/bin/python3 "$(dirname "$0")/../bench/bench_service.py" "$build" --json "$results/bench_service.json" |
      tee -a "$results/summary.txt"; then
    echo "bench: bench_service failed" >&2
    status=1
  fi
fi

# The program as the operator starts it, in a fresh start directory with the
# shipped data: the splash, then the main window. After a few seconds its
# peak so far (VmHWM) is read and it is closed with SIGTERM, as the end of a
# session closes it.
program=$(realpath "$build/src/qxrtrans" 2>/dev/null || true)
if [ -n "$program" ] && [ -x "$program" ]; then
  start=$(mktemp -d)
  trap 'rm -rf "$start"' EXIT
  find "$build/run" -maxdepth 1 -type f ! -name 'Init.*' -exec cp {} "$start" \;
  for n in 1 2 3 4 5 6 7 8; do ln -s "$start/no-such-port" "$start/COM$n"; done  # no real device is opened
  (cd "$start" && exec "$program") &
  pid=$!
  sleep 3
  peak=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo "?")
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" || true
  echo "qxrtrans: peak resident set at start-up $peak KiB" | tee -a "$results/summary.txt"
fi
exit $status
