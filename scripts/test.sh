#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: native unit tests under the address and
# undefined-behaviour sanitizers, a bounded fuzz run of the decoder, the decoder benchmark (figures only), then
# the Windows tests and COM clients under Wine. Exits non-zero on any failure.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/install-deps.sh"

echo "== Native unit tests"
cmake -S "$here" -B "$here/build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,float-cast-overflow -fno-omit-frame-pointer -fno-sanitize-recover=all" >/dev/null
ninja -C "$here/build/native"
(cd "$here/build/native" && ctest --output-on-failure)
grep -h '^noise: ' "$here/build/native/Testing/Temporary/LastTest.log"  # the false-read slice's count

echo "== Native unit tests, 32-bit x86 (the Windows target's sizes)"
cmake -S "$here" -B "$here/build/native32" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_TOOLCHAIN_FILE="$here/cmake/native-i686.cmake" \
      -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,float-cast-overflow -fno-omit-frame-pointer -fno-sanitize-recover=all" \
      >/dev/null
ninja -C "$here/build/native32"
(cd "$here/build/native32" && ctest --output-on-failure -E '^(guide_test|aztec_corpus)$')

echo "== Fuzzing the decoder (${VARNOK_FUZZ_SECONDS:=60} s)"
mkdir -p "$here/build"
if ! "$here/scripts/fuzz.sh" "$VARNOK_FUZZ_SECONDS" >"$here/build/fuzz.log" 2>&1; then
  tail -n 80 "$here/build/fuzz.log"
  exit 1
fi
grep -E '^(== |Done|stat::(number_of_executed_units|new_units_added|peak_rss_mb))' "$here/build/fuzz.log"

echo "== Decoder benchmark (figures only)"
"$here/scripts/bench.sh" 3

echo "== Windows build"
"$here/scripts/build.sh"

echo "== Tests under Wine"
source "$here/scripts/wine-session.sh"
wine_session_begin "$here/build/win32/tests/WineIdle.exe"
trap wine_session_end EXIT
(cd "$here/build/win32" && ctest --output-on-failure -j2 --timeout 300)

echo "== Batch tool benchmark (figures only)"
"$here/scripts/bench-scan.sh" 1
