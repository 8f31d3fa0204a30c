#!/usr/bin/env bash
# The line's own time: a block-mode send of 1 000 program lines with
# `qxrtool nc send` against `qxremu --baud 9600`, its wall time beside the
# wire time of every byte both ways (10 bits a byte: 960 bytes/s), counted
# from qxremu's --log. The floor is physical: the figure is the ratio.
#
#   bench/bench_wire.sh [build-dir] [lines] [baud]   (scripts/bench.sh runs it)
set -euo pipefail
build=${1:-build-bench}
lines=${2:-1000}
baud=${3:-9600}
here=$(cd "$(dirname "$0")/.." && pwd)
emu="$build/tools/qxremu/qxremu"
tool="$build/tools/qxrtool/qxrtool"
[ -x "$emu" ] && [ -x "$tool" ] || { echo "bench-wire: build qxremu and qxrtool in $build first" >&2; exit 1; }

work=$(mktemp -d)
emu_pid=
cleanup() { [ -n "$emu_pid" ] && kill -TERM "$emu_pid" 2>/dev/null && wait "$emu_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
cp "$here"/data/Message.C "$here"/data/Message.E "$here"/data/Customer.ini "$work"/
# Block mode (Transit mode 1); COM1 leads nowhere, COM2 is the emulator.
printf 'Time Out Timer    = 3000\r\nTrans Delay time  = 10\r\nSystem parameter  = 0,0,0\r\nTransit mode      = 1\r\nDefault COM       = 1\r\nPLC Transit Delay = 0\r\nMAX COM Port      = 2\r\nSystem parameter 2= 0\r\nSystem parameter 3= 0\r\n' >"$work/Init.ini"
ln -s "$work/no-such-port" "$work/COM1"
{
  printf '7\r\nWIRE\r\n'
  for ((n = 1; n <= lines; n++)); do printf 'N%d G01 X%d.250 Y-%d.500 F1200\r\n' "$n" $((n % 400)) $((n % 250)); done
  printf 'M30\r\n'
} >"$work/send.nc"

"$emu" --link "$work/COM2" --model 102 --baud "$baud" --log "$work/log" >/dev/null &
emu_pid=$!
for _ in $(seq 100); do [ -L "$work/COM2" ] && break; sleep 0.05; done

start=$(date +%s.%N)
"$tool" --dir "$work" --port COM2 --yes nc send "$work/send.nc" >"$work/out.txt" 2>&1 || { cat "$work/out.txt" >&2; exit 1; }
end=$(date +%s.%N)

# Every byte in the log, each way.
read -r bytes_in bytes_out < <(awk '$1 == "in" {i += NF - 1} $1 == "out" {o += NF - 1} END {print i + 0, o + 0}' "$work/log")
awk -v s="$start" -v e="$end" -v i="$bytes_in" -v o="$bytes_out" -v b="$baud" -v l="$lines" -v load="$(cut -d' ' -f1-3 /proc/loadavg)" 'BEGIN {
  wall = e - s; wire = (i + o) * 10 / b
  printf "wire: %d lines at %d bit/s: %d bytes in, %d out; wall %.2f s, wire time %.2f s, ratio %.3f (load %s)\n",
         l, b, i, o, wall, wire, wall / wire, load }'
