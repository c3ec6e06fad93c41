#!/usr/bin/env bash
# The project's dialect, checked: clang-format over every C/C++ file in the repo, and
# clang-tidy with the checks .clang-tidy names over the product's sources (everything compiled
# into the programs and libraries; the tests are held to clang-format only), from the native
# build's compile database. Exits non-zero on any finding.
#   scripts/lint.sh          needs build/native (cmake --preset native)
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h')
echo "== lint: clang-format over ${#files[@]} files"
clang-format --dry-run --Werror "${files[@]}"

database=build/native/compile_commands.json
if [ ! -f "$database" ]; then
  echo "lint: $database is missing; configure the native preset first" >&2
  exit 1
fi
# The product's sources as the database holds them (generated files and tests left out).
root="$(pwd)"
mapfile -t sources < <(python3 - "$database" "$root" <<'PY'
import json, sys, os
database, root = sys.argv[1], sys.argv[2]
product = ("platform/", "device/", "protocol/", "firmware/", "workers/", "sim/", "session/", "link/", "updater/", "cli/", "tools/")
seen = set()
for entry in json.load(open(database)):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    relative = os.path.relpath(path, root)
    if relative.startswith(product) and relative not in seen:
        seen.add(relative)
        print(relative)
PY
)
echo "== lint: clang-tidy over ${#sources[@]} product sources"
# run-clang-tidy 14 takes no -warnings-as-errors, and exits 0 on warnings: its findings are
# read from its output.
run-clang-tidy -p build/native -quiet -j "${QX80_JOBS:-$(nproc)}" "${sources[@]}" > build/clang-tidy.log 2>&1 || true
findings="$(sed 's/\x1b\[[0-9;]*m//g' build/clang-tidy.log | grep -E '^[^ ]+:[0-9]+:[0-9]+: (warning|error):' | sort -u || true)"
if [ -n "$findings" ]; then
  echo "$findings" >&2
  echo "lint: clang-tidy found the above (whole output in build/clang-tidy.log)" >&2
  exit 1
fi
echo "== lint: clean"
