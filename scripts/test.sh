#!/usr/bin/env bash
# Sets everything up, builds every target and runs every test: the native tests, the same
# tests under the address/undefined and thread sanitizers, and the Windows test binaries
# and end-to-end runs under Wine. Exits non-zero on the first failure.
#   scripts/test.sh            all of it
#   scripts/test.sh native     only some presets (native, asan, tsan, win32)
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -eq 0 ]; then
  scripts/setup.sh
else
  sudo scripts/setup.sh
fi

presets=("$@")
[ "${#presets[@]}" -gt 0 ] || presets=(native asan tsan win32)
jobs="${QX80_JOBS:-$(nproc)}"

for preset in "${presets[@]}"; do
  echo "== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== ${preset}: test"
  ctest --preset "$preset"
done
echo "== all tests passed (${presets[*]})"
