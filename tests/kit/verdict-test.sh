#!/usr/bin/env bash
# The kit helper's verdict on suite logs: a PASS needs at least one test run (skipped ones do not count), none
# failed and exit code 0. One row per log.
# Usage: verdict-test.sh <KitTool.exe>
set -uo pipefail
tool=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
scratch=$(mktemp -d /tmp/varnok-verdict.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
failed=0 cases=0
ran() { printf '[==========] %s from 1 test suite ran. (5 ms total)\n' "$1"; }
# kind | exit code | log (printf format) | the line expected
while IFS='|' read -r kind code log expected; do
  cases=$((cases + 1))
  printf "$log" >"$scratch/case.txt"
  line=$("$here/scripts/wine-run.sh" "$tool" verdict s "$kind" "Z:${scratch//\//\\}\\case.txt" "$code" | tr -d '\r')
  [ "$line" = "$expected" ] || { echo "FAILED: $kind [$log] exit $code: [$line], expected [$expected]"; failed=1; }
done <<EOF2
gtest|0|$(ran '7 tests')\n[  PASSED  ] 7 tests.\n|PASS s (7 tests)
gtest|0|$(ran '4 tests')\n[  PASSED  ] 3 tests.\n[  SKIPPED ] 1 test, listed below:\n|PASS s (3 tests)
gtest|0|$(ran '1 test')\n[  PASSED  ] 0 tests.\n[  SKIPPED ] 1 test, listed below:\n|FAIL s (0 tests run, 0 failed, exit code 0; see logs\\s.txt)
gtest|0|This program contains tests written using Google Test.\n  --gtest_filter=POSITIVE_PATTERNS\n|FAIL s (0 tests run, 0 failed, exit code 0; see logs\\s.txt)
gtest|1|$(ran '5 tests')\n[  PASSED  ] 4 tests.\n[  FAILED  ] 1 test, listed below:\n|FAIL s (5 tests run, 1 failed, exit code 1; see logs\\s.txt)
gtest|3|$(ran '2 tests')\n[  PASSED  ] 2 tests.\n|FAIL s (2 tests run, 0 failed, exit code 3; see logs\\s.txt)
script|0|RESULT pass=74 fail=0\n|PASS s (74 tests)
script|0|RESULT pass=74 fail=2\n|FAIL s (74 tests run, 2 failed, exit code 0; see logs\\s.txt)
script|0|\n|FAIL s (0 tests run, 1 failed, exit code 0; see logs\\s.txt)
diagnose|0|[ OK ] a\n[INFO] b\n[ OK ] c\n|PASS s (2 checks)
diagnose|0|[ OK ] a\n[BŁĄD] b\n|FAIL s (2 checks run, 1 failed, exit code 0; see logs\\s.txt)
lines|0|x\n|PASS s (1 check)
lines|0||FAIL s (0 checks run, 0 failed, exit code 0; see logs\\s.txt)
exit|1||FAIL s (1 check run, 0 failed, exit code 1; see logs\\s.txt)
EOF2
[ "$cases" -gt 0 ] || { echo "no case ran"; exit 1; }
[ "$failed" -eq 0 ] && echo "all $cases verdicts as expected"
exit $failed
