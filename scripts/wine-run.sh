#!/usr/bin/env bash
# Runs a Windows program under the project's own Wine prefix, headless and quiet.
# WINEPREFIX defaults to build/wineprefix beside this script's repository; LANG defaults to Polish settings.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export LANG=${VARNOK_LANG:-pl_PL.UTF-8}
export LC_ALL=$LANG
unset DISPLAY
exec wine "$@"
