#!/usr/bin/env bash
# Sourced by the top-level scripts: a Wine prefix of the project's own for a build (each word size has its own, as
# each registers its own server), and one idle Wine process kept alive while the caller works (ended by
# wine_session_end).
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$here/scripts/host.sh"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset DISPLAY

# Makes WINEPREFIX (default: the prefix of the build under test) if it is not there. Where the host runs no
# 32-bit code the prefix's 32-bit half (SysWOW64) is made under emulation, and remade once emulation is there.
wine_prefix_ensure() {
  export WINEPREFIX=${WINEPREFIX:-$(host_prefix "$VARNOK_WIN_BITS")}
  local emulated=1
  if [ "$VARNOK_HOST_KIND" = x64-only ]; then
    host_emulate_ia32 || { emulated=0; echo "The prefix gets no 32-bit half: 32-bit programs will not start in it."; }
    if [ "$emulated" = 1 ] && [ -f "$WINEPREFIX/system.reg" ] &&
       [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/cscript.exe" ]; then
      echo "Remaking the Wine prefix $WINEPREFIX with its 32-bit half..."
      timeout 60 wineserver -k 2>/dev/null || true
      rm -rf "$WINEPREFIX"
    fi
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (about 20 s)..."
    local log="${WINEPREFIX%/}.log" status=0
    mkdir -p "$(dirname "$WINEPREFIX")"
    LANG=pl_PL.UTF-8 WINEARCH=win64 timeout 600 "$VARNOK_WINE" wineboot -i >"$log" 2>&1 || status=$?
    timeout 120 wineserver -w || true
    if [ "$status" -ne 0 ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "Wine could not make the prefix $WINEPREFIX (exit code $status, loader $VARNOK_WINE)." >&2
      case "$status" in
        126) echo "The loader is a program this host cannot run (exec format error): see scripts/host.sh;" \
                  "VARNOK_HOST_64_ONLY=1 makes the scripts use the 64-bit loader." >&2 ;;
        124) echo "wineboot did not finish within 10 minutes." >&2 ;;
      esac
      echo "Wine's own words are in $log; remove $WINEPREFIX and run again once that is mended." >&2
      tail -n 5 "$log" >&2
      return 1
    fi
  fi
  wine_prefix_settings
}

# Windows' own programs get top-level windows, headless too: the end of a session reaches a program through them
# (Wine's null display driver; without it no top-level window can be made). A crash is then still never a dialog
# that waits for a click. Set once per prefix; Wine takes the driver when its server next starts.
wine_prefix_settings() {
  local marker="$WINEPREFIX/.varnok-settings-1"
  [ -f "$marker" ] && return 0
  timeout 120 "$VARNOK_WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 &&
    timeout 120 "$VARNOK_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      >/dev/null 2>&1 || { echo "Could not set the Wine prefix's display driver." >&2; return 1; }
  timeout 60 wineserver -k 2>/dev/null || true
  touch "$marker"
}

wine_session_begin() {  # $1: the word size of the build whose tests run (default: the build under test)
  local bits=${1:-$VARNOK_WIN_BITS}
  export WINEPREFIX
  WINEPREFIX=$(host_prefix "$bits")
  wine_prefix_ensure || return 1
  "$here/scripts/wine-run.sh" "$(host_build_dir "$bits")/tests/WineIdle.exe" >/dev/null 2>&1 </dev/null &
  WINE_IDLE_PID=$!
  # Wine's services inherit the output of whichever program starts them and keep it open: start them here,
  # writing nowhere, or a test runner waits forever for its test's output to end.
  "$here/scripts/wine-run.sh" cmd /c exit >/dev/null 2>&1 </dev/null || true
  "$here/scripts/wine-run.sh" net start RpcSs >/dev/null 2>&1 </dev/null || true
}

wine_session_end() {  # runs from an EXIT trap under `set -e`: nothing here may fail
  if [ -n "${WINE_IDLE_PID:-}" ]; then kill "$WINE_IDLE_PID" 2>/dev/null || true; fi
  WINE_IDLE_PID=
  timeout 60 wineserver -w 2>/dev/null || wineserver -k 2>/dev/null || true
}
