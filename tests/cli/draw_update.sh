#!/usr/bin/env bash
# Records an update of the simulated QX-80 and draws its transcript: the picture must be
# well-formed SVG showing the blocks, and the table of phases must end with the result.
#   draw_update.sh QX80 DRAW_SCRIPT
set -euo pipefail
qx80="$1"
draw="$2"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT

"$qx80" update --device sim --yes --speed 50 --log "$dir/update.transcript" >/dev/null
python3 "$draw" "$dir/update.transcript" "$dir/update.svg" --table >"$dir/phases.md"
cat "$dir/phases.md"
python3 -c 'import sys, xml.etree.ElementTree as t; t.parse(sys.argv[1])' "$dir/update.svg"
grep -q '736 blocks in' "$dir/update.svg" || { echo "the picture shows no blocks"; exit 1; }
for phase in "update started" "device: update mode" "writing 736 blocks" "result 0 ResultOk" "device: normal mode"; do
  grep -q "^| $phase |" "$dir/phases.md" || { echo "no phase '$phase' in the table"; exit 1; }
done
