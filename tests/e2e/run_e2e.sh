#!/usr/bin/env bash
# End-to-end runs of the Windows updater under Wine, driven by qx80-autotest, with screenshots
# of every dialog and state written as PNG files into the output folder:
# - one session per locale (five) with the license, the main window without a device, the
#   about box, a second instance, the exit codes and the progress dialog;
# - in English, Japanese and Simplified Chinese, a whole update of a QX-80 played by the
#   native qx80-sim over the device bridge, a failing update, the up-to-date question and a
#   bad --device value; in English also the question answered OK, which runs the update (and
#   ends with the Enter key);
# - in English, packages dropped on the window and named on the command line, a close request
#   while the device is written, and an update with --log whose transcript qx80-sim replays.
#   run_e2e.sh [--demo|--power-cut] UPDATER_EXE PROGRESS_DEMO_EXE AUTOTEST_EXE QX80_SIM OUTPUT_DIR [TEST_PACKAGE]
# TEST_PACKAGE is the native qx80-test-package, which writes the packages to drop.
# --demo runs the whole update in English only (scripts/demo.sh --gui).
# --power-cut runs only, in English, an update whose device loses its power at one of five
# points (qx80-sim --power-cut), each followed by a second run that writes the device; it has a
# test of its own, beside the others (its own OUTPUT_DIR and so its own Wine prefix).
set -euo pipefail

all_args=("$@")
demo_only=0
power_cut_only=0
if [ "${1:-}" = "--demo" ]; then
  demo_only=1
  shift
elif [ "${1:-}" = "--power-cut" ]; then
  power_cut_only=1
  shift
fi
if [ $# -ne $((6 - demo_only)) ]; then
  echo "usage: run_e2e.sh [--demo|--power-cut] UPDATER_EXE PROGRESS_DEMO_EXE AUTOTEST_EXE QX80_SIM OUTPUT_DIR [TEST_PACKAGE]" >&2
  exit 2
fi
here="$(cd "$(dirname "$0")" && pwd)"
wine_run="$here/../../scripts/wine-run.sh"
if [ ! -x "$4" ]; then
  echo "run_e2e.sh: no native qx80-sim at $4: build the native preset first" \
    "(cmake --preset native && cmake --build --preset native --target qx80-sim)," \
    "or configure the Windows build with -DQX80_NATIVE_SIM=PATH" >&2
  exit 1
fi
if [ "$demo_only" -eq 0 ] && [ ! -x "$6" ]; then
  echo "run_e2e.sh: no native qx80-test-package at $6: build the native preset first" >&2
  exit 1
fi
updater="$(realpath "$1")"
demo="$(realpath "$2")"
autotest="$(realpath "$3")"
sim="$(realpath "$4")"
mkdir -p "$5"
out="$(realpath "$5")"
newer="$out/newer-3.01.bin"  # the packages to drop
bad="$out/not-a-package.bin"
transcript="$out/app-session.transcript"
if [ "$demo_only" -eq 0 ]; then
  "$6" "$newer" 3.01
  printf 'not a firmware package\n' > "$bad"
fi

# One virtual display for all sessions: the windows of every process meet on it.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "${all_args[@]}"
fi

# A prefix of our own, so that its settings (virtual desktop) and the single-instance
# mutex of these runs touch no other test.
export QX80_WINEPREFIX="$out/wineprefix"
export WINEDEBUG=-all
settings="$(md5sum < "$here/wine-settings.reg")"
if [ "$(cat "$QX80_WINEPREFIX/.qx80-e2e-settings" 2>/dev/null)" != "$settings" ]; then
  "$wine_run" regedit /S "Z:$here/wine-settings.reg"
  # The desktop process of this prefix started before the settings: end it with the server.
  WINEPREFIX="$QX80_WINEPREFIX" wineserver -k 2>/dev/null || true
  WINEPREFIX="$QX80_WINEPREFIX" wineserver -w 2>/dev/null || true
  echo "$settings" > "$QX80_WINEPREFIX/.qx80-e2e-settings"
fi

# Windows paths through drive Z:, which Wine maps to the root of the file system.
win() { echo "Z:$1"; }

# The device of a session: one qx80-sim at a time on the session's port. A new one for every
# scenario the session asks for, since the simulated device keeps its state (versions,
# mode) for as long as it runs.
sim_pid=""
port=0
sim_log="$out/qx80-sim.log"          # every device of the run
sim_current="$out/qx80-sim-now.log"  # the one running
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
    cat "$sim_current" >> "$sim_log"
  fi
}
trap stop_sim EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# SCENARIO with any more of qx80-sim's options ("ok --power-cut switch"), or "replay" for the
# transcript; the first one of a session picks the port.
start_sim() {
  local scenario="$1" line="" waited=0 words=()
  read -ra words <<< "$scenario"
  local plays=(--scenario "${words[@]}")
  if [ "$scenario" = replay ]; then plays=(--replay "$transcript"); fi
  # The time limit stops the device even if this script is killed outright, when no trap runs.
  timeout 600 "$sim" --listen "127.0.0.1:$port" "${plays[@]}" > "$sim_current" 2>&1 &
  sim_pid=$!
  while ! line="$(grep -m1 'listening on 127.0.0.1:' "$sim_current")"; do
    if ! kill -0 "$sim_pid" 2>/dev/null || [ "$waited" -ge 100 ]; then
      stop_sim
      echo "run_e2e.sh: qx80-sim did not start with scenario $scenario on port $port" >&2
      return 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  port="${line##*:}"
}

# Runs SCRIPT in LOCALE with the TEXTS of a language; screenshots get the TAG; each NAME=VALUE
# after it is one more variable of the script. The session starts with a bridge that serves no
# device; it asks for another device by writing a scenario name (and any more options of
# qx80-sim) into $ASK and goes on once that device is served (the file is removed).
session() {  # LOCALE TEXTS TAG SCRIPT [NAME=VALUE]...
  local locale="$1" texts="$2" tag="$3" script="$4" ask="$out/device-request" status=0 sets=()
  shift 4
  local pair
  for pair in "$@"; do sets+=(--set "$pair"); done
  echo "== $locale.UTF-8, $script: expecting the '$texts' texts"
  rm -f "$ask"
  port=0
  start_sim no-device || return 1
  LANG="$locale.UTF-8" LC_ALL="$locale.UTF-8" "$wine_run" "$autotest" --texts "$(win "$here/texts-$texts.txt")" \
    --set "EXE=$(win "$updater")" --set "DEMO=$(win "$demo")" --set "OUT=$(win "$out")" --set "TAG=$tag" \
    --set "DEVICE=bridge:127.0.0.1:$port" --set "ASK=$(win "$ask")" --set "NEWER=$(win "$newer")" \
    --set "BAD=$(win "$bad")" --set "LOG=$(win "$transcript")" "${sets[@]}" "$(win "$here/$script")" &
  local driver=$!
  while kill -0 "$driver" 2>/dev/null; do
    if [ -e "$ask" ]; then
      stop_sim
      # Left in place when the device cannot be served: the session then fails on its wait.
      if start_sim "$(cat "$ask")"; then rm -f "$ask"; fi
    fi
    sleep 0.1
  done
  wait "$driver" || status=$?
  stop_sim
  if [ "$status" -ne 0 ]; then echo "== $locale.UTF-8, $script: FAILED"; fi
  return "$status"
}

rm -f "$out"/*.bmp "$out"/*.png "$sim_log"
status=0
if [ "$demo_only" -eq 1 ]; then
  session en_US en en update_session.txt || status=1
elif [ "$power_cut_only" -eq 1 ]; then
  # Point, and how long the power stays off in the device's clock (five times real time). At
  # the switch the power stays off beyond the application's four attempts of 5 s: a device
  # back sooner takes the next attempt in its update mode, and the update rightly goes on.
  for cut in "switch 150000" "part1-block-0 20000" "part1-block-332 20000" "part1-end 20000" "return 20000"; do
    read -r point off <<< "$cut"
    session en_US en "$point" power_cut_session.txt "CUT=$point" "OFF=$off" || status=1
  done
else
  # locale, texts expected, tag of the screenshots
  for run in "en_US en en" "ja_JP ja ja" "zh_CN zh zh" "zh_TW en zh_TW" "de_DE en de"; do
    # shellcheck disable=SC2086  # three words
    session $run updater_session.txt || status=1
  done
  for run in "en_US en en" "ja_JP ja ja" "zh_CN zh zh"; do
    # shellcheck disable=SC2086
    session $run update_session.txt || status=1
    # shellcheck disable=SC2086
    session $run outcomes_session.txt || status=1
  done
  # One more whole update, after the question: once is enough, the run is the same.
  session en_US en en confirmed_session.txt || status=1
  # Dropped packages, closing while writing, and the transcript replayed: the same in every
  # language, so once.
  rm -f "$transcript"
  session en_US en en app_session.txt || status=1
  # The transcript is the tool's: its header, the command line whole, the update's result; and
  # the replayed device took every report the application wrote.
  if ! head -n 2 "$transcript" | tr -d '\r' | grep -qx "# qx80-updater.exe --device bridge:127.0.0.1:[0-9]* --log .*" ||
    [ "$(head -n 1 "$transcript")" != "qx80-transcript 1" ] || ! grep -q " result 0 ResultOk$" "$transcript" ||
    ! grep -q "qx80-sim: .*played to its end" "$sim_log"; then
    echo "== the application's transcript or its replay: FAILED"
    status=1
  fi
fi

rm -f "$sim_current"
for bmp in "$out"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
WINEPREFIX="$QX80_WINEPREFIX" wineserver -k 2>/dev/null || true

echo "screenshots: $out"
exit "$status"
