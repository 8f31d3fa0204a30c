#!/usr/bin/env bash
# The shop service on two emulated controllers, in the foreground:
#   scripts/shop-demo.sh [build-dir]        (make serve builds first)
# Makes the start directory <build>/shop (SHOP_DIR=DIR for another) from
# the shipped data, starts two qxremu on pseudo-terminals linked there as
# COM1 (a QXR102 K) and COM2 (a QXR302 M), names them in Machines.ini
# ("Lathe 1" and "Mill 2"), gives the users "operator" and "admin" a fresh
# password each (printed), and runs qxrd on 127.0.0.1:8080
# (QXRD_LISTEN=ADDR:PORT for another). Ctrl-C or SIGTERM ends qxrd and the
# emulators. The journal and received programs stay for the next run.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
listen=${QXRD_LISTEN:-127.0.0.1:8080}
emu="$build/tools/qxremu/qxremu"
qxrd="$build/tools/qxrd/qxrd"
for program in "$emu" "$qxrd"; do
  [ -x "$program" ] || { echo "shop-demo: $program is missing; run make build first" >&2; exit 1; }
done
shop=$(realpath -m "${SHOP_DIR:-$build/shop}")
mkdir -p "$shop"

# The shipped catalogues and parameter descriptions, refreshed when newer;
# Init.ini and Customer.ini are the start directory's own once made.
for file in "$here"/data/*; do
  [ -f "$file" ] || continue
  name=$(basename "$file")
  case "$name" in Init.ini | Customer.ini) [ -e "$shop/$name" ] && continue ;; esac
  [ "$file" -nt "$shop/$name" ] && cp -p "$file" "$shop/$name"
done

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -f "$shop/COM1" "$shop/COM2"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Two controllers, each keeping its programs in a folder of its own.
start_emulator() {  # COMn model version
  rm -f "$shop/$1"
  "$emu" --link "$shop/$1" --model "$2" --version "$3" --store "$shop/emulator-$1" >/dev/null &
  pids+=($!)
}
start_emulator COM1 102 K
start_emulator COM2 302 M
for _ in $(seq 100); do [ -L "$shop/COM1" ] && [ -L "$shop/COM2" ] && break; sleep 0.05; done
[ -L "$shop/COM1" ] && [ -L "$shop/COM2" ] || { echo "shop-demo: the emulators did not start" >&2; exit 1; }

cat >"$shop/Machines.ini" <<'MACHINES'
# The demonstration's machines: the emulators linked as COM1 and COM2.
[Lathe 1]
model   = QXR102
version = K
port    = COM1
mode    = block

[Mill 2]
model   = QXR302
version = M
port    = COM2
mode    = block
MACHINES

export QXR_JOURNAL="$shop/journal.db"
password() { head -c 12 /dev/urandom | base64 | tr -d '/+=' | cut -c1-12; }
declare -A passwords
for user in operator admin; do
  "$qxrd" --start-dir "$shop" user remove "$user" >/dev/null 2>&1 || true
  passwords[$user]=$(password)
  printf '%s\n' "${passwords[$user]}" | "$qxrd" --start-dir "$shop" user add "$user" --role "$user" >/dev/null
done

cat <<INFO
shop-demo: start directory $shop
shop-demo: Lathe 1 on COM1 -> $(readlink "$shop/COM1"), Mill 2 on COM2 -> $(readlink "$shop/COM2")
shop-demo: users  operator / ${passwords[operator]}   admin / ${passwords[admin]}
shop-demo: open the address below in a browser; Ctrl-C ends the service and the emulators
INFO
"$qxrd" --start-dir "$shop" --listen "$listen" &
pids+=($!)
wait "${pids[-1]}"
