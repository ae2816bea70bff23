#!/usr/bin/env bash
# Native benchmarks in a Release build: prints figures, asserts nothing.  scripts/bench.sh [rounds]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$here/build/release" native_bench generate-payload >/dev/null
"$here/build/release/bench/native_bench" "${1:-7}"
