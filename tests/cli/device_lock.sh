#!/usr/bin/env bash
# One writer per QX-80 across processes, against qx80-sim over the bridge: while one qx80
# update holds the device (waiting at its y/N question), a second update and a command on the
# same device are refused at once with exit status 2 and say why; once the holder is killed
# (SIGKILL: nothing of its own runs), the device is free again and an update goes through.
#   device_lock.sh QX80 QX80_SIM
set -uo pipefail
qx80="$1"
sim="$2"
source "$(dirname "$0")/start_sim.sh"
dir="$(mktemp -d)"
sim_pid=""
holder=""
trap '[ -z "$holder" ] || kill -KILL "$holder" 2>/dev/null; [ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null; rm -rf "$dir"' EXIT


fail() {
  echo "FAILED: $*"
  exit 1
}

start_sim "$dir/sim" "$sim" --listen 127.0.0.1:0 --scenario up-to-date --speed 50 || exit 1
device="bridge:127.0.0.1:${sim_port}"

# The holder finds the device up to date and asks; its answer never comes.
mkfifo "$dir/answer"
"$qx80" update --device "$device" --speed 50 <"$dir/answer" >"$dir/holder" 2>&1 &
holder=$!
exec 3>"$dir/answer"
wait_for "before: QX-80 in normal mode" "$dir/holder" || exit 1

for run in "update --yes" "command 11"; do
  # shellcheck disable=SC2086 # the command and its options are words
  "$qx80" $run --device "$device" --speed 50 >"$dir/second" 2>&1
  status=$?
  cat "$dir/second"
  echo "second $run: exit $status"
  [ "$status" -eq 2 ] || fail "a second writer was not refused"
  grep -q "qx80: the QX-80 is in use by another program" "$dir/second" || fail "no reason given"
done

{
  kill -KILL "$holder"
  wait "$holder"
} 2>/dev/null
holder=""
exec 3>&-
"$qx80" update --device "$device" --yes --speed 50 >"$dir/after" 2>&1
status=$?
cat "$dir/after"
echo "after the holder was killed: exit $status"
[ "$status" -eq 0 ] || fail "the device stayed locked after its holder ended"
echo "passed"
