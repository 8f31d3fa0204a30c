#!/usr/bin/env bash
# Starts qxrtrans in the prepared start directory of a build tree, with the
# controller emulator linked there as COM2 (the default port), so that
# sending and receiving work without a controller.
set -euo pipefail
build=${1:-build}
run_dir="$build/run"
emu="$build/tools/qxremu/qxremu"

cleanup() {
  if [ -n "${emu_pid:-}" ]; then kill "$emu_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

if [ -x "$emu" ]; then
  # Leave a COM2 that the operator linked to a real adapter alone.
  link_target=$(readlink "$run_dir/COM2" 2>/dev/null || true)
  if [ ! -e "$run_dir/COM2" ] || [[ "$link_target" == /dev/pts/* ]]; then
    rm -f "$run_dir/COM2"
    "$emu" --link "$run_dir/COM2" --model 102 --version K --store "$run_dir/emulator" &
    emu_pid=$!
    for _ in $(seq 50); do [ -e "$run_dir/COM2" ] && break; sleep 0.1; done
    echo "run: controller emulator on $(readlink "$run_dir/COM2") linked as COM2"
  fi
fi

program="$(realpath "$build/src/qxrtrans")"
cd "$run_dir"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display found; starting on a virtual screen (xvfb-run)"
  exec_prefix=(xvfb-run -a -s "-screen 0 1280x800x24")
else
  exec_prefix=()
fi
"${exec_prefix[@]}" "$program"
