# Sourced by the tool's shell tests.

# Waits (up to two minutes, for a loaded machine) until file $2 contains $1.
wait_for() {
  for _ in $(seq 1200); do
    grep -q "$1" "$2" && return 0
    sleep 0.1
  done
  echo "never saw \"$1\" in $2:"
  cat "$2"
  return 1
}

# start_sim OUT SIM ARGS... starts qx80-sim with ARGS in the
# background, its output in OUT, and waits until it listens: sets sim_pid and sim_port. The
# wait is for an event, not a race: a simulator that reads a long transcript under a
# sanitizer on a busy machine may take many seconds, so it waits up to two minutes and fails
# only when the simulator has ended or never listened.
start_sim() {
  local out="$1"
  shift
  "$@" >"$out" &
  sim_pid=$!
  local line="" waited=0
  while ! line="$(grep -m1 -o 'listening on 127.0.0.1:[0-9]*' "$out")"; do
    if ! kill -0 "$sim_pid" 2>/dev/null || [ "$waited" -ge 1200 ]; then
      echo "qx80-sim did not start listening:" >&2
      cat "$out" >&2
      return 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  sim_port="${line##*:}"
}
