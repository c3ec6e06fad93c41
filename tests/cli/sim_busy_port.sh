#!/usr/bin/env bash
# qx80-sim on a port that another qx80-sim listens on: it says the port is in use and ends
# with exit status 3.
#   sim_busy_port.sh QX80_SIM
set -uo pipefail
sim="$1"
source "$(dirname "$0")/start_sim.sh"
dir="$(mktemp -d)"
sim_pid=""
trap '[ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null; rm -rf "$dir"' EXIT
start_sim "$dir/first" "$sim" --listen 127.0.0.1:0 || exit 1
"$sim" --listen "127.0.0.1:${sim_port}" >"$dir/second" 2>&1
status=$?
cat "$dir/second"
echo "second on port ${sim_port}: exit $status"
[ "$status" -eq 3 ] && grep -q "cannot listen on 127.0.0.1:${sim_port}: the port is in use" "$dir/second"
