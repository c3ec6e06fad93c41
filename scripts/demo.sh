#!/usr/bin/env bash
# The updater's main job, start to finish, on the simulated QX-80: builds the qx80 tool, shows
# the device's status, then updates it with the carried firmware package (2.05 -> 2.09) the
# way the application does: switch to update mode, ten seconds of settling, the two parts
# written in acknowledged blocks, the device restarted with its new versions.
#   scripts/demo.sh              the simulated device in this process, in real time
#   scripts/demo.sh SCENARIO     another situation of the simulated device (qx80-sim --help
#                                lists them), e.g. refuse-block-3 or start-in-update-mode
set -euo pipefail
cd "$(dirname "$0")/.."

scenario="${1:-ok}"

if [ "$(id -u)" -eq 0 ]; then
  scripts/setup.sh
else
  sudo scripts/setup.sh
fi

build_dir="${QX80_DEMO_BUILD_DIR:-build/native}"
echo "== build the qx80 tool (${build_dir})"
cmake --preset native -B "$build_dir" >/dev/null
cmake --build "$build_dir" --target qx80 -j "${QX80_JOBS:-2}"
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
