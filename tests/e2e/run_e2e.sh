#!/usr/bin/env bash
# End-to-end run of the Windows updater under Wine: one session per locale driven by
# qx80-autotest (license, main window, about box, second instance, exit codes, progress
# dialog), with
# screenshots of every dialog written as PNG files into the output folder.
#   run_e2e.sh UPDATER_EXE PROGRESS_DEMO_EXE AUTOTEST_EXE OUTPUT_DIR
set -euo pipefail

if [ $# -ne 4 ]; then
  echo "usage: run_e2e.sh UPDATER_EXE PROGRESS_DEMO_EXE AUTOTEST_EXE OUTPUT_DIR" >&2
  exit 2
fi
here="$(cd "$(dirname "$0")" && pwd)"
wine_run="$here/../../scripts/wine-run.sh"
updater="$(realpath "$1")"
demo="$(realpath "$2")"
autotest="$(realpath "$3")"
mkdir -p "$4"
out="$(realpath "$4")"

# One virtual display for all sessions: the windows of every process meet on it.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
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

status=0
# locale, texts expected, tag of the screenshots
for run in "en_US en en" "ja_JP ja ja" "zh_CN zh zh" "zh_TW en zh_TW" "de_DE en de"; do
  set -- $run
  echo "== $1.UTF-8: expecting the '$2' texts"
  rm -f "$out"/*-"$3".bmp
  if ! LANG="$1.UTF-8" LC_ALL="$1.UTF-8" "$wine_run" "$autotest" --texts "$(win "$here/texts-$2.txt")" \
      --set "EXE=$(win "$updater")" --set "DEMO=$(win "$demo")" --set "OUT=$(win "$out")" --set "TAG=$3" \
      "$(win "$here/updater_session.txt")"; then
    echo "== $1.UTF-8: FAILED"
    status=1
  fi
done

for bmp in "$out"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
WINEPREFIX="$QX80_WINEPREFIX" wineserver -k 2>/dev/null || true

echo "screenshots: $out"
exit "$status"
