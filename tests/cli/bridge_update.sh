#!/usr/bin/env bash
# qx80 against qx80-sim in another process, over the device bridge: the whole update.
#   bridge_update.sh QX80 QX80_SIM
set -euo pipefail
qx80="$1"
sim="$2"
out="$(mktemp)"
trap 'kill "$pid" 2>/dev/null || true; rm -f "$out"' EXIT
"$sim" --listen 127.0.0.1:0 --speed 50 >"$out" &
pid=$!
for _ in $(seq 50); do
  grep -q listening "$out" && break
  sleep 0.1
done
port="$(grep -o '127.0.0.1:[0-9]*' "$out" | cut -d: -f2)"
"$qx80" update --device "bridge:127.0.0.1:${port}" --yes --speed 50
kill -TERM "$pid"
wait "$pid"
