#!/usr/bin/env bash
# Runs a Windows program under the project's own Wine prefix, headless and quiet, with the Wine loader this host
# can start (scripts/host.sh). WINEPREFIX defaults to the prefix of the build under test; LANG to Polish settings.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$here/scripts/host.sh"
export WINEPREFIX=${WINEPREFIX:-$(host_prefix "$VARNOK_WIN_BITS")}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export LANG=${VARNOK_LANG:-pl_PL.UTF-8}
export LC_ALL=$LANG
unset DISPLAY
exec "$VARNOK_WINE" "$@"
