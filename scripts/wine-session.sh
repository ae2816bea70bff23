#!/usr/bin/env bash
# Sourced by the top-level scripts: a Wine prefix of the project's own, and one idle Wine process kept alive
# while the caller works (ended by wine_session_end).
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset DISPLAY

wine_prefix_ensure() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (about 20 s)..."
    LANG=pl_PL.UTF-8 wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
}

wine_session_begin() {  # $1: the idle executable
  wine_prefix_ensure
  "$here/scripts/wine-run.sh" "$1" >/dev/null 2>&1 </dev/null &
  WINE_IDLE_PID=$!
  # Wine's services inherit the output of whichever program starts them and keep it open: start them here,
  # writing nowhere, or a test runner waits forever for its test's output to end.
  "$here/scripts/wine-run.sh" cmd /c exit >/dev/null 2>&1 </dev/null || true
  "$here/scripts/wine-run.sh" net start RpcSs >/dev/null 2>&1 </dev/null || true
}

wine_session_end() {  # runs from an EXIT trap under `set -e`: nothing here may fail
  if [ -n "${WINE_IDLE_PID:-}" ]; then kill "$WINE_IDLE_PID" 2>/dev/null || true; fi
  timeout 60 wineserver -w 2>/dev/null || wineserver -k 2>/dev/null || true
}
