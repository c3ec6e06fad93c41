#!/usr/bin/env bash
# qx80 against qx80-sim in another process, over the device bridge: the whole update.
#   bridge_update.sh QX80 QX80_SIM
set -euo pipefail
qx80="$1"
sim="$2"
source "$(dirname "$0")/start_sim.sh"
out="$(mktemp)"
sim_pid=""
trap '[ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true; rm -f "$out"' EXIT
start_sim "$out" "$sim" --listen 127.0.0.1:0 --speed 50
"$qx80" update --device "bridge:127.0.0.1:${sim_port}" --yes --speed 50
kill -TERM "$sim_pid"
wait "$sim_pid"
