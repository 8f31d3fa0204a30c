#!/usr/bin/env bash
# Runs libFuzzer targets of a fuzz build for the given number of seconds
# each, starting from the corpus in fuzz/corpus/<target>; new inputs go to a
# scratch corpus in the build tree, so the repository's corpus stays small.
#
#   scripts/fuzz.sh BUILD SECONDS [TARGET...]     (default: every target)
#
# SECONDS 0 runs nothing: with FUZZ_MERGE=1 it only minimizes the corpus.
#
# FUZZ_JOBS      how many targets run at once (default 1)
# FUZZ_MAX_LEN   the longest input tried (default 4096)
# FUZZ_TIMEOUT   seconds one input may take before it counts as a hang
#                (default 60: the instrumented build runs some inputs 25
#                times slower than the ordinary one, more on a busy machine)
# FUZZ_FLAGS     more libFuzzer options, e.g. -fork=3 for the targets that
#                spend their time waiting on a pseudo-terminal
# FUZZ_MERGE=1   afterwards, minimize the scratch and repository corpus of
#                each target into a fresh fuzz/corpus/<target>
#
# At the end one table gives per target the wall and CPU seconds, the
# executions and the edges (cov) and features (ft) reached, as libFuzzer
# counts them over the instrumented library and the target, and another
# what the repository's corpus reaches.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
shift $(( $# > 2 ? 2 : $# ))
jobs=${FUZZ_JOBS:-1}
max_len=${FUZZ_MAX_LEN:-4096}
timeout=${FUZZ_TIMEOUT:-60}
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
  "$program" -max_total_time="$seconds" -max_len="$max_len" -timeout="$timeout" -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/fuzz/crash-$name-" ${FUZZ_FLAGS:-} \
    "$scratch" "fuzz/corpus/$name" >"$logs/$name.log" 2>&1 || status=$?
  # The CPU seconds of this subshell's children: the fuzzer alone.
  times >"$logs/$name.times"
  local cpu
  cpu=$(tail -1 "$logs/$name.times" | awk '{ split($1, u, /[ms]/); split($2, s, /[ms]/);
                                             printf "%d", u[1] * 60 + u[2] + s[1] * 60 + s[2] }')
  echo "$(( SECONDS - start )) $status $cpu" >"$logs/$name.wall"
  echo "== $name: $(( SECONDS - start )) s, exit $status (log $logs/$name.log)"
}

for name in "${targets[@]}"; do
  if [ ! -x "$build/fuzz/fuzz_$name" ]; then echo "no target $name" >&2; exit 2; fi
done
running=0
if [ "$seconds" -gt 0 ]; then
  for name in "${targets[@]}"; do
    run_one "$name" &
    running=$(( running + 1 ))
    if [ "$running" -ge "$jobs" ]; then wait -n || true; running=$(( running - 1 )); fi
  done
  wait || true
fi

if [ "${FUZZ_MERGE:-0}" = 1 ]; then
  for name in "${targets[@]}"; do
    fresh="$build/fuzz/merged-$name"
    rm -rf "$fresh"; mkdir -p "$fresh"
    "$build/fuzz/fuzz_$name" -merge=1 -max_len="$max_len" -timeout="$timeout" \
      -artifact_prefix="$build/fuzz/merge-$name-" "$fresh" \
      "fuzz/corpus/$name" "$build/fuzz/corpus-$name" >"$logs/$name.merge.log" 2>&1
    # Inputs kept under a name (one per fault found) stay, under that name.
    for kept in "fuzz/corpus/$name"/*; do
      [ -f "$kept" ] || continue
      base=$(basename "$kept")
      [[ "$base" =~ ^[0-9a-f]{40}$ ]] && continue
      rm -f "$fresh/$(sha1sum "$kept" | cut -d' ' -f1)"
      cp "$kept" "$fresh/$base"
    done
    rm -rf "fuzz/corpus/$name"; mv "$fresh" "fuzz/corpus/$name"
  done
fi

status=0
if [ "$seconds" -gt 0 ]; then
  echo "The runs (cov: edges, ft: features, as libFuzzer last reported them):"
  printf '%-14s %6s %6s %12s %7s %7s  %s\n' target wall cpu executions cov ft result
  for name in "${targets[@]}"; do
    log="$logs/$name.log"
    read -r wall code cpu <"$logs/$name.wall"
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
    # With -fork the total comes only from the status lines.
    [ -n "$execs" ] || execs=$(sed -n 's/^#\([0-9]*\).*/\1/p' <<<"$last")
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    result=clean
    if [ "$code" != 0 ]; then
      result="FINDING: $(ls "$build/fuzz/crash-$name-"* 2>/dev/null | head -1)"
      status=1
    fi
    printf '%-14s %6s %6s %12s %7s %7s  %s\n' "$name" "$wall" "${cpu:-?}" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$result"
  done
fi

# What the repository's corpus reaches when it is replayed.
echo "The corpus in fuzz/corpus:"
printf '%-14s %7s %9s %7s %7s\n' target files bytes cov ft
for name in "${targets[@]}"; do
  files=$(find "fuzz/corpus/$name" -type f | wc -l)
  bytes=$(find "fuzz/corpus/$name" -type f -printf '%s\n' | awk '{ n += $1 } END { print n + 0 }')
  inited=$("$build/fuzz/fuzz_$name" -runs=0 -timeout="$timeout" \
             -artifact_prefix="$build/fuzz/replay-$name-" "fuzz/corpus/$name" 2>&1 | grep -E 'INITED|DONE' | head -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$inited")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$inited")
  printf '%-14s %7s %9s %7s %7s\n' "$name" "$files" "$bytes" "${cov:-?}" "${ft:-?}"
done
exit $status
