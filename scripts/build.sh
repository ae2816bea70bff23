#!/usr/bin/env bash
# Builds the 32-bit Windows server and its test clients (build/win32). Pass target names to build only those.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cmake -S "$here" -B "$here/build/win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$here/build/win32" "$@"
