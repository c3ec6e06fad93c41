#!/usr/bin/env bash
# qx80-sim --power-cut over the device bridge: the device's power goes at a block of the first
# part, the update fails, the device comes back in its update mode, and a second update writes
# it.
#   bridge_power_cut.sh QX80 QX80_SIM
set -euo pipefail
qx80="$1"
sim="$2"
source "$(dirname "$0")/start_sim.sh"
dir="$(mktemp -d)"
sim_pid=""
trap '[ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true; rm -rf "$dir"' EXIT
start_sim "$dir/sim" "$sim" --listen 127.0.0.1:0 --speed 50 --power-cut part1-block-100 --power-off 60000
device="bridge:127.0.0.1:${sim_port}"
status=0
"$qx80" update --device "$device" --yes --speed 50 >"$dir/cut" 2>&1 || status=$?
if [ "$status" -ne 1 ] || ! grep -q "result: -11 " "$dir/cut"; then
  echo "the cut update ended with $status:"
  cat "$dir/cut"
  exit 1
fi
# The power is back after 1.2 s of real time.
for _ in $(seq 1200); do
  "$qx80" status --device "$device" --json >"$dir/status" 2>&1 || true
  grep -q '"mode": "update"' "$dir/status" && break
  sleep 0.1
done
"$qx80" update --device "$device" --yes --speed 50
kill -TERM "$sim_pid"
wait "$sim_pid"
