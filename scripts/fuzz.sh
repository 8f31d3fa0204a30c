#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for the given number of seconds,
# starting from the corpus in fuzz/corpus/<target> (new inputs go to a scratch
# corpus in the build tree, so the repository's corpus stays small).
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
status=0
for program in "$build"/fuzz/fuzz_*; do
  [ -x "$program" ] || continue
  name=$(basename "$program"); name=${name#fuzz_}
  scratch="$build/fuzz/corpus-$name"
  mkdir -p "$scratch"
  echo "== $name ($seconds s)"
  if ! "$program" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
       -artifact_prefix="$build/fuzz/crash-$name-" "$scratch" "fuzz/corpus/$name"; then
    status=1
  fi
done
exit $status
