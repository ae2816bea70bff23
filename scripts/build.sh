#!/usr/bin/env bash
# Builds the Windows programs, their packages and test clients: build/win32 (the 32-bit build, the default
# packages) and build/win64 (the 64-bit build, for Windows without its 32-bit subsystem).
# Usage: build.sh [--bits 32|64|both] [targets]   (default: the build under test on this host, scripts/host.sh)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$here/scripts/host.sh"
bits=$VARNOK_WIN_BITS
if [ "${1:-}" = --bits ]; then bits=$2; shift 2; fi
case "$bits" in both) bits="32 64" ;; 32|64) ;; *) echo "build.sh: --bits takes 32, 64 or both" >&2; exit 2 ;; esac
for b in $bits; do
  cmake -S "$here" -B "$(host_build_dir "$b")" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$(host_toolchain "$b")" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
  ninja -C "$(host_build_dir "$b")" "$@"
done
