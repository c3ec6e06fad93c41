#!/usr/bin/env bash
# Sets everything up, builds every target and runs every test: the native tests, the core's
# tests built for 32-bit x86 (under qemu where the kernel runs no 32-bit programs), the same
# native tests under the address/undefined and thread sanitizers, the Windows test binaries and
# end-to-end runs under Wine, and a short run of every fuzzer; after the native tests,
# clang-format and clang-tidy (scripts/lint.sh). Exits non-zero on the first failure.
#   scripts/test.sh            all of it
#   scripts/test.sh native     only some presets (native, m32, asan, tsan, win32, fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -eq 0 ]; then
  scripts/setup.sh
else
  sudo scripts/setup.sh
fi

presets=("$@")
[ "${#presets[@]}" -gt 0 ] || presets=(native m32 asan tsan win32 fuzz)
jobs="${QX80_JOBS:-$(nproc)}"

# CI (the CI variable set, as .ci/run does) treats every compiler warning as an error.
werror=OFF
[ -z "${CI:-}" ] || werror=ON

build() {
  echo "== $1: configure and build"
  cmake --preset "$1" -DQX80_WERROR="$werror" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

for preset in "${presets[@]}"; do
  build "$preset"
  # A kernel without IA-32 emulation runs no 32-bit programs, so Wine runs none of the win32
  # preset's: its tests then run from the win64 build of the same sources.
  if [ "$preset" = win32 ] && ! wine --version >/dev/null 2>&1; then
    echo "== win32: this machine runs no 32-bit programs; testing the win64 build instead"
    preset=win64
    build "$preset"
  fi
  echo "== ${preset}: test"
  ctest --preset "$preset"
  # The dialect check reads the native build's compile database.
  if [ "$preset" = native ]; then
    scripts/lint.sh
  fi
done
echo "== all tests passed (${presets[*]})"
