#!/usr/bin/env bash
# Runs the Windows test kit's run-tests.cmd through Wine's cmd in a clean Wine prefix of its own, as a stand-in
# for Windows: every suite must pass ("N passed, 0 failed", exit code 0) and no key may be left.
# Usage: kit-test.sh <VarnokSrv-<version>-tests.zip>
set -euo pipefail
zip=$(realpath "$1")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="$(dirname "$zip")/kit-wineprefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=pl_PL.UTF-8 LC_ALL=pl_PL.UTF-8
unset DISPLAY
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1; wineserver -w
wine "$here/build/win32/tests/WineIdle.exe" >/dev/null 2>&1 </dev/null &
idle=$!
trap 'kill $idle 2>/dev/null || true; wineserver -k 2>/dev/null || true' EXIT
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
wine net start RpcSs >/dev/null 2>&1 </dev/null || true

mkdir -p "$WINEPREFIX/drive_c/kit"
(cd "$WINEPREFIX/drive_c/kit" && cmake -E tar xf "$zip")
name=$(basename "$zip" .zip)
status=0
wine cmd /c "C:\\kit\\$name\\run-tests.cmd" >"$WINEPREFIX/output.txt" 2>&1 </dev/null || status=$?
tr -d '\r' <"$WINEPREFIX/output.txt" | grep -E '^(PASS|FAIL|SKIP|[0-9]+ passed)' || true
last=$(tr -d '\r' <"$WINEPREFIX/output.txt" | grep -E '^[0-9]+ passed, [0-9]+ failed$' | tail -n 1)
if [ "$status" -ne 0 ] || [[ ! "$last" =~ ^([0-9]+)\ passed,\ 0\ failed$ ]] || [ "${BASH_REMATCH[1]}" -lt 17 ]; then
  echo "run-tests.cmd: exit code $status, last line [$last]"
  for log in "$WINEPREFIX/drive_c/kit/$name"/logs/*.txt; do
    grep -q . "$log" && { echo "== $(basename "$log")"; tail -n 15 "$log"; }
  done
  exit 1
fi

# Again, with an installed server registered before (it must get its registration back), and with a failing
# suite (the type-library suite replaced by a program that fails), which must show.
kit="$WINEPREFIX/drive_c/kit/$name"
mkdir -p "$WINEPREFIX/drive_c/installed"
cp "$kit/server/VarnokSrv.exe" "$WINEPREFIX/drive_c/installed/"
wine 'C:\installed\VarnokSrv.exe' /RegServer
cp "$kit/bin/KitTool.exe" "$kit/bin/TypeLibraryTest.exe"
status=0
wine cmd /c "C:\\kit\\$name\\run-tests.cmd" >"$WINEPREFIX/output.txt" 2>&1 </dev/null || status=$?
summary=$(tr -d '\r' <"$WINEPREFIX/output.txt" | grep -E '^(FAIL typelib |[0-9]+ passed, 1 failed$)' | sed 's/ (.*//' | tr '\n' '|')
if [ "$status" -ne 1 ] || [ "$summary" != "FAIL typelib|$((${BASH_REMATCH[1]} - 1)) passed, 1 failed|" ]; then
  echo "a failing suite was not reported: exit code $status, [$summary]"
  exit 1
fi
echo "a failing suite is reported: exit code 1, $summary"
registered=$(wine "$kit/bin/KitTool.exe" registered-server | tr -d '\r')
if ! tr -d '\r' <"$WINEPREFIX/output.txt" | grep -qxF 'Registered again: C:\installed\VarnokSrv.exe' ||
   [ "$registered" != 'C:\installed\VarnokSrv.exe' ]; then
  echo "the installed server did not get its registration back: [$registered]"
  exit 1
fi
echo "the installed server got its registration back"
