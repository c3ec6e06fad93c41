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

# A file that is not a transcript gets one line saying why, and exit status 1, no traceback.
head -c 300 /dev/urandom >"$dir/binary"
printf 'qx80-transcript 1\n# qx80 update\n0.5 open 1\nsoon out 1 00\n' >"$dir/bad-time"
printf 'a note\n' >"$dir/text"
for file in binary bad-time text missing; do
  status=0
  said="$(python3 "$draw" "$dir/$file" "$dir/out.svg" 2>&1)" || status=$?
  [ "$status" -eq 1 ] && [ "$(wc -l <<<"$said")" -eq 1 ] && [[ $said == "$dir/$file"*": "* ]] ||
    { echo "drawing $file said (exit $status): $said"; exit 1; }
done
