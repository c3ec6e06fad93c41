#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine: a prefix created on first use,
# quiet Wine logs, and a virtual X display of its own when none is given, so that windows
# can really be created. Needs no terminal: CI has neither a display nor stdin.
#
#   wine-run.sh [--default-prefix DIR] PROGRAM.exe [ARGS...]
#
# The prefix is $QX80_WINEPREFIX if set, else DIR, else ~/.cache/qx80-wine. The build
# passes a prefix inside its own tree: Wine processes of one prefix share one wineserver,
# hence named objects such as the updater's single-instance mutex, so test runs of other
# build trees must not share it.
set -euo pipefail

default_prefix="${XDG_CACHE_HOME:-$HOME/.cache}/qx80-wine"
if [ "${1:-}" = "--default-prefix" ]; then
  default_prefix="$2"
  shift 2
fi
if [ $# -eq 0 ]; then
  echo "usage: wine-run.sh [--default-prefix DIR] PROGRAM.exe [ARGS...]" >&2
  exit 2
fi

# Wine insists on an absolute path.
WINEPREFIX="$(realpath -m "${QX80_WINEPREFIX:-$default_prefix}")"
# Wine's 32-bit loader, unless the kernel runs no 32-bit programs (no IA-32 emulation): then
# its 64-bit loader, which runs only 64-bit programs (the win64 preset's).
wine=wine
if ! wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
fi
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: their installers would ask questions on first use. No debugger either:
# a crashing test program would otherwise wait in winedbg until the test's time-out.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"

# Creating a prefix takes about 15 s; a lock keeps two first runs from doing it at once.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-run.sh: creating the Wine prefix $WINEPREFIX" >&2
    mkdir -p "$WINEPREFIX"
    timeout 600 "$wine" wineboot --init </dev/null >/dev/null 2>&1 || true
    timeout 120 wineserver -w </dev/null >/dev/null 2>&1 || true
  fi
  flock -u 9
  exec 9>&-
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-run.sh: could not create the Wine prefix $WINEPREFIX" >&2
    exit 1
  fi
fi

if [ -n "${DISPLAY:-}" ]; then
  exec "$wine" "$@" </dev/null
fi

# A private Xvfb: it picks a free display number itself (-displayfd), so runs started at
# the same moment cannot race for one.
xvfb_pid=""
wine_pid=""
# shellcheck disable=SC2317  # run by the traps
cleanup() {
  if [ -n "$wine_pid" ]; then kill "$wine_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

exec {display_fd}< <(exec Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp </dev/null 2>/dev/null)
xvfb_pid=$!
display_number=""
if ! read -r -t 30 -u "$display_fd" display_number || [ -z "$display_number" ]; then
  echo "wine-run.sh: Xvfb did not start" >&2
  exit 1
fi
exec {display_fd}<&-
export DISPLAY=":$display_number"

status=0
"$wine" "$@" </dev/null &
wine_pid=$!
wait "$wine_pid" || status=$?
wine_pid=""
# Let Wine's own processes (the desktop among them) end while the display still exists:
# a desktop left on a vanished display would break the next run's windows.
timeout 60 wineserver -w </dev/null >/dev/null 2>&1 || true
exit "$status"
