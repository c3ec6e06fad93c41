#!/usr/bin/env bash
# Records an update of the simulated QX-80 with --log, plays the transcript back with
# qx80-sim --replay, and updates the played device: the host must write the same reports in
# the same order, say the same, and end with the same result.
#   replay_update.sh QX80 QX80_SIM
set -euo pipefail
source "$(dirname "$0")/start_sim.sh"
qx80="$1"
sim="$2"
dir="$(mktemp -d)"
sim_pid=""
trap '[ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true; rm -rf "$dir"' EXIT

"$qx80" update --device sim --yes --speed 50 --log "$dir/recorded.transcript" >"$dir/recorded.out" ||
  { echo "the recorded update failed:"; cat "$dir/recorded.out"; exit 1; }

# The transcript says how it was made: the whole command line.
header="$(sed -n 2p "$dir/recorded.transcript")"
[ "$header" = "# qx80 update --device sim --yes --speed 50 --log $dir/recorded.transcript" ] ||
  { echo "the transcript's header names another command: $header"; exit 1; }

start_sim "$dir/sim.out" "$sim" --listen 127.0.0.1:0 --replay "$dir/recorded.transcript"
"$qx80" update --device "bridge:127.0.0.1:${sim_port}" --yes --speed 50 --log "$dir/replayed.transcript" \
  >"$dir/replayed.out" || true
kill -TERM "$sim_pid"
status=0
wait "$sim_pid" || status=$?
sim_pid=""
cat "$dir/sim.out"
[ "$status" -eq 0 ] || { echo "qx80-sim --replay exited with $status"; exit 1; }

# What the tool says, but for the seconds it took.
without_seconds() { sed 's/ after [0-9]* s:/:/' "$1"; }
diff <(without_seconds "$dir/recorded.out") <(without_seconds "$dir/replayed.out")
reports_out() { awk '$2 == "out" { print $4 }' "$1"; }
cmp <(reports_out "$dir/recorded.transcript") <(reports_out "$dir/replayed.transcript")
# Last, as the test's pass mark: everything before it held.
grep '^result:' "$dir/replayed.out"
