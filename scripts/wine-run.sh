#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine: one shared prefix for the
# project's tests (created on first use), quiet Wine logs, and a virtual X display
# when none is given, so that windows can really be created.
set -euo pipefail

export WINEPREFIX="${QX80_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/qx80-wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w 2>/dev/null || true
fi

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" wine "$@"
fi
exec wine "$@"
