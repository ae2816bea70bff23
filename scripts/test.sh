#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: native unit tests under the address and
# undefined-behaviour sanitizers, then the Windows tests and COM clients under Wine. Exits non-zero on any failure.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/install-deps.sh"

echo "== Native unit tests"
cmake -S "$here" -B "$here/build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all" >/dev/null
ninja -C "$here/build/native"
(cd "$here/build/native" && ctest --output-on-failure)

echo "== Windows build"
"$here/scripts/build.sh"

echo "== Tests under Wine"
source "$here/scripts/wine-session.sh"
wine_session_begin "$here/build/win32/tests/WineIdle.exe"
trap wine_session_end EXIT
(cd "$here/build/win32" && ctest --output-on-failure -j2 --timeout 300)
