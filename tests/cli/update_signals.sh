#!/usr/bin/env bash
# qx80 update as a process, under real signals: a closed output pipe does not end it, and
# SIGINT then SIGTERM during the writing stop it after a block, in update mode.
#   update_signals.sh QX80
set -uo pipefail
qx80="$1"
dir="$(mktemp -d)"
pid=""
trap '[ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null; rm -rf "$dir"' EXIT

# Waits (up to a minute) until file $2 contains $1.
wait_for() {
  for _ in $(seq 600); do
    grep -q "$1" "$2" && return 0
    sleep 0.1
  done
  echo "never saw \"$1\" in $2:"
  cat "$2"
  return 1
}

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
