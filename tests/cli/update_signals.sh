#!/usr/bin/env bash
# qx80 update as a process, under real signals: a closed output pipe does not end it;
# SIGINT then SIGTERM during the writing stop it after a block, in update mode; a hang-up
# during the writing lets it finish; a second interrupt ends the device's long wait for a
# part's end within seconds; a third interrupt ends the tool at once, JSON's end line last.
#   update_signals.sh QX80
set -uo pipefail
qx80="$1"
source "$(dirname "$0")/start_sim.sh"
dir="$(mktemp -d)"
pid=""
trap '[ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null; rm -rf "$dir"' EXIT


"$qx80" update --device sim --yes --speed 50 2>/dev/null | head -n 1 >/dev/null
echo "closed pipe: exit ${PIPESTATUS[0]}"

# The paced link makes the writing last seconds, so both signals arrive during it.
"$qx80" update --device sim:ok:full-speed --yes --speed 20 >"$dir/out" 2>"$dir/err" &
pid=$!
wait_for "progress: 15%" "$dir/out" || exit 1
kill -INT "$pid"
wait_for "Interrupt again" "$dir/err" || exit 1
kill -TERM "$pid"
wait "$pid"
status=$?
pid=""
cat "$dir/out" "$dir/err"
echo "interrupted twice: exit ${status}"

# Waits (up to 30 s) for process $1 to end; its exit status, or "still running".
wait_end() {
  for _ in $(seq 300); do
    if ! kill -0 "$1" 2>/dev/null; then
      wait "$1"
      return $?
    fi
    sleep 0.1
  done
  echo "still running"
  return 255
}

"$qx80" update --device sim:ok:full-speed --yes --speed 20 >"$dir/out" 2>"$dir/err" &
pid=$!
wait_for "progress: 15%" "$dir/out" || exit 1
kill -HUP "$pid"
wait "$pid"
status=$?
pid=""
grep -o "Interrupt again to stop after the current block" "$dir/err"
echo "hung up: exit ${status}"

# The device never answers the end: only the second interrupt ends the 391.5 s wait.
"$qx80" update --device sim:end-timeout --yes --speed 50 >"$dir/out" 2>"$dir/err" &
pid=$!
wait_for "for the QX-80 to finish writing" "$dir/out" || exit 1
kill -INT "$pid"
wait_for "Interrupt again" "$dir/err" || exit 1
kill -INT "$pid"
wait_end "$pid"
status=$?
pid=""
grep -o "result: -17 (ResultStopped)" "$dir/out"
echo "interrupted twice while the device finishes: exit ${status}"

"$qx80" update --device sim:end-timeout --yes --json --speed 50 >"$dir/out" 2>"$dir/err" &
pid=$!
wait_for '"finishing"' "$dir/out" || exit 1
# Three different signals, held while the process is stopped, arrive together: the tool
# cannot have ended at the second before the third is counted.
kill -STOP "$pid"
kill -INT "$pid"
kill -TERM "$pid"
kill -HUP "$pid"
kill -CONT "$pid"
wait_end "$pid"
status=$?
pid=""
grep -o "ended at once by a third interrupt" "$dir/err"
tail -n 1 "$dir/out"
echo "interrupted three times: exit ${status}"
