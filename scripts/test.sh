#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: native unit tests under the address and
# undefined-behaviour sanitizers (also as 32-bit x86 code), a bounded fuzz run, then the Windows tests and COM
# clients under Wine. Exits non-zero on any failure. Benchmarks are not run here: scripts/bench-all.sh.
# Two jobs at a time throughout (ctest -j2); tests that share the Wine prefix's server take a lock instead of
# running alone (tests/CMakeLists.txt). The 32-bit tree and the fuzzers run beside the Wine tests.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/install-deps.sh"
mkdir -p "$here/build"
started=$(date +%s)
step() { echo "== $1 ($(( $(date +%s) - started )) s in, load $(cut -d' ' -f1-3 /proc/loadavg))"; }

# The Free Pascal cross compiler (for the Delphi example) needs only the packages: built in the background from
# the start, so that the Windows build does not wait for it at its end. A later call finds it at once.
"$here/scripts/fpc-win32.sh" >"$here/build/fpc-win32.log" 2>&1 &
fpc=$!

sanitizers="-fsanitize=address,undefined,float-cast-overflow -fno-omit-frame-pointer -fno-sanitize-recover=all"
step "Native unit tests"
cmake -S "$here" -B "$here/build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="$sanitizers" >/dev/null
ninja -C "$here/build/native"
(cd "$here/build/native" && ctest --output-on-failure -j2)
grep -h '^noise: ' "$here/build/native/Testing/Temporary/LastTest.log"  # the false-read slice's count

# The 32-bit tree and the fuzzers run beside the Wine tests, which spend most of their time waiting for Wine:
# their output goes to build/native32-fuzz.log and is shown, with their verdict, once both are done.
native32_and_fuzz() {
  set -e
  echo "== Native unit tests, 32-bit x86 (the Windows target's sizes)"
  cmake -S "$here" -B "$here/build/native32" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_TOOLCHAIN_FILE="$here/cmake/native-i686.cmake" -DCMAKE_CXX_FLAGS="$sanitizers" >/dev/null
  ninja -C "$here/build/native32"
  # The guides do not depend on the word size: guide_test runs once, above.
  (cd "$here/build/native32" && ctest --output-on-failure -j2 -E '^guide_test$')
  echo "== Fuzzing (${VARNOK_FUZZ_SECONDS} s)"
  if ! "$here/scripts/fuzz.sh" "$VARNOK_FUZZ_SECONDS" >"$here/build/fuzz.log" 2>&1; then
    tail -n 80 "$here/build/fuzz.log"
    return 1
  fi
  grep -E '^(== |Done|stat::(number_of_executed_units|new_units_added|peak_rss_mb))' "$here/build/fuzz.log"
}
: "${VARNOK_FUZZ_SECONDS:=60}"

step "Windows build"
if ! wait "$fpc"; then
  tail -n 40 "$here/build/fpc-win32.log"
  exit 1
fi
"$here/scripts/build.sh"

step "Tests under Wine, and beside them the 32-bit tree and the fuzzers"
native32_and_fuzz >"$here/build/native32-fuzz.log" 2>&1 &
beside=$!
source "$here/scripts/wine-session.sh"
wine_session_begin "$here/build/win32/tests/WineIdle.exe"
trap wine_session_end EXIT
wine_status=0
(cd "$here/build/win32" && ctest --output-on-failure -j2 --timeout 300) || wine_status=$?
beside_status=0
wait "$beside" || beside_status=$?
step "The 32-bit tree and the fuzzers (exit code $beside_status)"
grep -E '^(== |[0-9]+/[0-9]+ Test|[0-9]+% tests passed|Total Test time|Done|stat::(number_of_executed_units|new_units_added|peak_rss_mb))' \
     "$here/build/native32-fuzz.log" || true
[ "$beside_status" -eq 0 ] || { tail -n 120 "$here/build/native32-fuzz.log"; exit 1; }
[ "$wine_status" -eq 0 ] || exit "$wine_status"
step "Done"
