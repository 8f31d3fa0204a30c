#!/usr/bin/env bash
# Runs libFuzzer targets of a fuzz build for the given number of seconds
# each, starting from the corpus in fuzz/corpus/<target>; new inputs go to a
# scratch corpus in the build tree, so the repository's corpus stays small.
#
#   scripts/fuzz.sh BUILD SECONDS [TARGET...]     (default: every target)
#
# FUZZ_JOBS      how many targets run at once (default 1)
# FUZZ_MAX_LEN   the longest input tried (default 4096)
# FUZZ_MERGE=1   afterwards, minimize the scratch and repository corpus of
#                each target into a fresh fuzz/corpus/<target>
#
# At the end a table gives per target the executions and the edges (cov) and
# features (ft) reached, as libFuzzer counts them over the instrumented
# library and the target.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
shift $(( $# > 2 ? 2 : $# ))
jobs=${FUZZ_JOBS:-1}
max_len=${FUZZ_MAX_LEN:-4096}
logs="$build/fuzz/logs"
mkdir -p "$logs"

targets=()
if [ $# -gt 0 ]; then
  targets=("$@")
else
  for program in "$build"/fuzz/fuzz_*; do
    [ -x "$program" ] && [ -f "$program" ] || continue
    name=$(basename "$program"); targets+=("${name#fuzz_}")
  done
fi

run_one() {
  local name=$1 program="$build/fuzz/fuzz_$1" scratch="$build/fuzz/corpus-$1"
  mkdir -p "$scratch" "fuzz/corpus/$name"
  local start=$SECONDS status=0
  "$program" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/fuzz/crash-$name-" \
    "$scratch" "fuzz/corpus/$name" >"$logs/$name.log" 2>&1 || status=$?
  echo "$(( SECONDS - start )) $status" >"$logs/$name.wall"
  echo "== $name: $(( SECONDS - start )) s, exit $status (log $logs/$name.log)"
}

running=0
for name in "${targets[@]}"; do
  if [ ! -x "$build/fuzz/fuzz_$name" ]; then echo "no target $name" >&2; exit 2; fi
  run_one "$name" &
  running=$(( running + 1 ))
  if [ "$running" -ge "$jobs" ]; then wait -n || true; running=$(( running - 1 )); fi
done
wait || true

if [ "${FUZZ_MERGE:-0}" = 1 ]; then
  for name in "${targets[@]}"; do
    fresh="$build/fuzz/merged-$name"
    rm -rf "$fresh"; mkdir -p "$fresh"
    "$build/fuzz/fuzz_$name" -merge=1 -max_len="$max_len" -timeout=10 "$fresh" \
      "fuzz/corpus/$name" "$build/fuzz/corpus-$name" >"$logs/$name.merge.log" 2>&1
    rm -rf "fuzz/corpus/$name"; mv "$fresh" "fuzz/corpus/$name"
  done
fi

status=0
printf '%-14s %6s %12s %7s %7s %7s  %s\n' target seconds executions cov ft corpus result
for name in "${targets[@]}"; do
  log="$logs/$name.log"
  read -r wall code <"$logs/$name.wall"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corpus=$(find "fuzz/corpus/$name" -type f | wc -l)
  result=clean
  if [ "$code" != 0 ]; then
    result="FINDING: $(ls "$build/fuzz/crash-$name-"* 2>/dev/null | head -1)"
    status=1
  fi
  printf '%-14s %6s %12s %7s %7s %7s  %s\n' "$name" "$wall" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$corpus" "$result"
done
exit $status
