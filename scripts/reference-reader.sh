#!/usr/bin/env bash
# Builds the reference Aztec reader the benchmarks compare against, from a zxing-cpp checkout fetched by hand:
# never part of our build, nor of what we ship. Leaves build/reference/ZXingReader (its command-line reader, for
# the whole-process figures) and build/reference/reference-reader-bench (bench/reference/ReferenceReaderBench.cpp
# linked with its library, for the reader alone).
#   scripts/reference-reader.sh <zxing-cpp checkout> [its build folder, default build/reference/build]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source=$(cd "${1:?usage: reference-reader.sh <zxing-cpp checkout> [build folder]}" && pwd)
build=${2:-$here/build/reference/build}
mkdir -p "$here/build/reference"
apt-get install -y -q libstb-dev >/dev/null
cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZXING_DEPENDENCIES=LOCAL -DZXING_WRITERS=OLD \
  -DZXING_C_API=OFF -DBUILD_SHARED_LIBS=OFF >/dev/null
ninja -C "$build" ZXing ZXingReader >/dev/null
cp "$build/example/ZXingReader" "$here/build/reference/ZXingReader"
# The same compiler options as the library's own Release build.
g++ -std=c++20 -O3 -DNDEBUG -I"$source/core/src" -I"$build/core" -I"$here/bench" \
  "$here/bench/reference/ReferenceReaderBench.cpp" "$build/core/libZXing.a" -o "$here/build/reference/reference-reader-bench"
echo "reference reader built in $here/build/reference (from $(git -C "$source" log -1 --format='%h %cs' 2>/dev/null || echo "$source"))"
