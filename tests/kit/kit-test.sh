#!/usr/bin/env bash
# Runs the Windows test kit's run-tests.cmd through Wine's cmd in a clean Wine prefix of its own, as a stand-in
# for Windows: every step must pass with at least one test run ("N passed, 0 failed", exit code 0) and no key may
# be left. Then those two steps alone again, one suite replaced by a program that fails and one by a program that
# runs no test at all: both must be reported FAIL.
# Usage: kit-test.sh <VarnokSrv-<version>-tests.zip>
set -euo pipefail
zip=$(realpath "$1")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="$(dirname "$zip")/kit-wineprefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=pl_PL.UTF-8 LC_ALL=pl_PL.UTF-8
unset DISPLAY
wine() { "$here/scripts/wine-run.sh" "$@"; }
rm -rf "$WINEPREFIX"
WINEARCH=win64 wine wineboot -i >/dev/null 2>&1; wineserver -w
wine "$(dirname "$zip")/../tests/WineIdle.exe" >/dev/null 2>&1 </dev/null &
idle=$!
# Only this script's idle process, and the Wine server of this script's own prefix.
trap 'kill $idle 2>/dev/null || true; wineserver -k 2>/dev/null || true' EXIT
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
wine net start RpcSs >/dev/null 2>&1 </dev/null || true

mkdir -p "$WINEPREFIX/drive_c/kit"
(cd "$WINEPREFIX/drive_c/kit" && cmake -E tar xf "$zip")
name=$(basename "$zip" .zip)
kit="$WINEPREFIX/drive_c/kit/$name"
# Every step line of run-tests.cmd gives one PASS line.
steps=$(grep -cE '^(set "GTEST_FILTER=[^"]*" & )?call :(suite|script|example) ' "$kit/run-tests.cmd")

# VARNOK_KIT_SHARDS=N (the test command sets it) runs one N-th of each GoogleTest suite's tests, by GoogleTest's own
# sharding: the suites run whole in their own groups, and what this test is about is the kit. Shard 0 always holds
# a suite's first test, so every step still has a test to count. Unset, every suite runs whole, as on Windows.
if [ "${VARNOK_KIT_SHARDS:-1}" -gt 1 ]; then
  export GTEST_TOTAL_SHARDS=$VARNOK_KIT_SHARDS GTEST_SHARD_INDEX=0
  echo "each GoogleTest suite runs the first of ${VARNOK_KIT_SHARDS} shards of its tests (VARNOK_KIT_SHARDS)"
fi

run_kit() {  # prints the suites' lines; sets status and output
  status=0
  # The image reader's race with the idle shutdown runs at length in its own group (image_reader_races): here a
  # few rounds show it works from the kit.
  VARNOK_IDLE_RACES=${VARNOK_IDLE_RACES:-4} wine cmd /c "C:\\kit\\$name\\run-tests.cmd" >"$WINEPREFIX/output.txt" \
    2>&1 </dev/null || status=$?
  output=$(tr -d '\r' <"$WINEPREFIX/output.txt")
  grep -E '^(PASS|FAIL|SKIP|[0-9]+ passed)' <<<"$output" || true
}

run_kit
last=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' <<<"$output" | tail -n 1 || true)
counted=$(grep -cE '^PASS [a-z0-9_]+ \([1-9][0-9]* (tests?|checks?)\)$' <<<"$output" || true)
if [ "$status" -ne 0 ] || [ "$last" != "$steps passed, 0 failed" ] || [ "$counted" -ne "$steps" ]; then
  echo "run-tests.cmd: exit code $status, last line [$last], $counted of $steps steps passed with a test count"
  for log in "$kit"/logs/*.txt; do
    grep -q . "$log" && { echo "== $(basename "$log")"; tail -n 15 "$log"; }
  done
  exit 1
fi
echo "every one of the $steps steps passed with at least one test run"

# Again, only the two steps it is about (the others passed above), with an installed server registered before (it
# must get its registration back), the type-library suite replaced by a program that fails, and the
# platform-settings suite by one that succeeds without running a test (as GoogleTest does when it only prints
# its help).
mkdir -p "$WINEPREFIX/drive_c/installed"
cp "$kit/server/VarnokSrv.exe" "$WINEPREFIX/drive_c/installed/"
wine 'C:\installed\VarnokSrv.exe' /RegServer
cp "$kit/bin/KitTool.exe" "$kit/bin/TypeLibraryTest.exe"
# A program of the kit's own word size that runs no test.
system=syswow64; [[ "$name" == *-x64-tests ]] && system=system32
cp "$WINEPREFIX/drive_c/windows/$system/hostname.exe" "$kit/bin/PlatformSettingsTest.exe"
VARNOK_KIT_STEPS="typelib platform_settings" run_kit >/dev/null
summary=$(grep -E '^(FAIL (typelib|platform_settings) |[0-9]+ passed, [0-9]+ failed$)' <<<"$output" | tr '\n' '|')
expected="FAIL typelib (0 tests run, 0 failed, exit code 2; see logs\\typelib.txt)|"
expected+="FAIL platform_settings (0 tests run, 0 failed, exit code 0; see logs\\platform_settings.txt)|"
expected+="0 passed, 2 failed|"
if [ "$status" -ne 2 ] || [ "$summary" != "$expected" ]; then
  echo "a failing or empty suite was not reported: exit code $status, [$summary], expected [$expected]"
  exit 1
fi
echo "a failing suite and a suite that runs no test are reported: exit code 2, $summary"
registered=$(wine "$kit/bin/KitTool.exe" registered-server | tr -d '\r')
if ! grep -qxF 'Registered again: C:\installed\VarnokSrv.exe' <<<"$output" ||
   [ "$registered" != 'C:\installed\VarnokSrv.exe' ]; then
  echo "the installed server did not get its registration back: [$registered]"
  exit 1
fi
echo "the installed server got its registration back"
