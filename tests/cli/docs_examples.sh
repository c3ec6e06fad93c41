#!/usr/bin/env bash
# Runs the examples of the docs as a user would type them: every `qx80 ...` line of a fenced
# block marked `sh runnable`, against the simulated device, checking its exit status (0, or
# the N of a trailing "# exit N"). A line of such a block that is not a qx80 command is
# shown text, not run.
#   docs_examples.sh QX80 DOC...
set -uo pipefail
qx80="$1"
shift
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/bin"
ln -s "$(cd "$(dirname "$qx80")" && pwd)/$(basename "$qx80")" "$dir/bin/qx80"

failed=0
ran=0
for doc in "$@"; do
  while IFS= read -r line; do
    expected=0
    if [[ $line =~ \#\ exit\ ([0-9]+) ]]; then
      expected="${BASH_REMATCH[1]}"
    fi
    command="${line%%#*}"
    (cd "$dir" && PATH="$dir/bin:$PATH" bash -c "$command" </dev/null >"$dir/out" 2>"$dir/err")
    status=$?
    ran=$((ran + 1))
    if [ "$status" -ne "$expected" ]; then
      echo "$(basename "$doc"): '$command' exited with $status, the doc says $expected:"
      cat "$dir/out" "$dir/err"
      failed=1
    fi
  done < <(awk '/^```sh runnable/ { inside = 1; next } /^```/ { inside = 0 } inside && /^qx80 / { print }' "$doc")
done
echo "${ran} examples run"
[ "$ran" -gt 0 ] || { echo "no runnable example found"; exit 1; }
exit "$failed"
