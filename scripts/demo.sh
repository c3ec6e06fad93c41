#!/usr/bin/env bash
# The updater's main job, start to finish, on the simulated QX-80: builds the qx80 tool, shows
# the device's status, then updates it with the carried firmware package (2.05 -> 2.09) the
# way the application does: switch to update mode, ten seconds of settling, the two parts
# written in acknowledged blocks, the device restarted with its new versions.
#   scripts/demo.sh              the simulated device in this process, in real time
#   scripts/demo.sh SCENARIO     another situation of the simulated device (qx80-sim --help
#                                lists them), e.g. refuse-block-3 or start-in-update-mode
#   scripts/demo.sh --gui        the Windows application under Wine updates a QX-80 played by
#                                qx80-sim, driven by qx80-autotest; screenshots of every state
#                                are left in build/demo-gui (on $DISPLAY if set, else Xvfb)
set -euo pipefail
cd "$(dirname "$0")/.."

scenario="${1:-ok}"

if [ "$(id -u)" -eq 0 ]; then
  scripts/setup.sh
else
  sudo scripts/setup.sh
fi

build_dir="${QX80_DEMO_BUILD_DIR:-build/native}"
jobs="${QX80_JOBS:-2}"

if [ "$scenario" = "--gui" ]; then
  # The 32-bit application, or its 64-bit build where the machine runs no 32-bit programs.
  windows=win32
  if ! wine --version >/dev/null 2>&1; then windows=win64; fi
  echo "== build qx80-sim (${build_dir}) and the Windows application (build/${windows})"
  cmake --preset native -B "$build_dir" >/dev/null
  cmake --build "$build_dir" --target qx80-sim -j "$jobs"
  cmake --preset "$windows" >/dev/null
  cmake --build --preset "$windows" --target qx80-updater qx80-autotest qx80-progress-demo -j "$jobs"
  out=build/demo-gui
  echo
  echo "== qx80-updater.exe --device bridge:127.0.0.1:PORT under Wine, a whole update"
  start=$(date +%s)
  status=0
  tests/e2e/run_e2e.sh --demo "build/$windows/updater/qx80-updater.exe" "build/$windows/tests/e2e/qx80-progress-demo.exe" \
    "build/$windows/tests/e2e/qx80-autotest.exe" "$build_dir/sim/qx80-sim" "$out" || status=$?
  echo "== finished in $(( $(date +%s) - start )) s, exit status ${status}; screenshots in $(realpath "$out")"
  exit "$status"
fi

echo "== build the qx80 tool (${build_dir})"
cmake --preset native -B "$build_dir" >/dev/null
cmake --build "$build_dir" --target qx80 -j "$jobs"
qx80="$build_dir/cli/qx80"

echo
echo "== qx80 status --device sim:${scenario}"
"$qx80" status --device "sim:${scenario}" || true

echo
echo "== qx80 update --device sim:${scenario} --yes"
start=$(date +%s)
status=0
"$qx80" update --device "sim:${scenario}" --yes || status=$?
echo "== finished in $(( $(date +%s) - start )) s, exit status ${status}"
exit "$status"
