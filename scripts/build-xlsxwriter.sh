#!/usr/bin/env bash
# Builds Debian's libxlsxwriter source package (pinned below) with mingw-w64 (the toolchain file given) into a static library, once:
# the result is kept under the given folder (build/ by default) and reused while the version stays the same.
# Needs the deb-src entry scripts/install-deps.sh adds; the library's code stays out of our tree.
# Its license (BSD, with minizip's and tmpfileplus's terms) must travel with the programs that link it:
# PREFIX/License.txt.
# Usage: build-xlsxwriter.sh TOOLCHAIN-FILE PREFIX   (PREFIX/lib/libxlsxwriter.a, PREFIX/include/xlsxwriter.h)
set -euo pipefail
version=1.1.4-2
toolchain=$1
prefix=$2
[ -f "$prefix/lib/libxlsxwriter.a" ] && [ -f "$prefix/License.txt" ] && [ "$(cat "$prefix/version" 2>/dev/null)" = "$version" ] && exit 0

work=$(mktemp -d "${TMPDIR:-/tmp}/varnok-xlsxwriter.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
# apt checks the downloaded files against the signed source index.
apt-get source --download-only "libxlsxwriter=$version" >apt.log 2>&1 || { cat apt.log; exit 1; }
dpkg-source --no-check -x "libxlsxwriter_$version.dsc" src >/dev/null
cmake -S src -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTS=OFF \
      -DBUILD_EXAMPLES=OFF -DUSE_SYSTEM_MINIZIP=OFF -DCMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-}" \
      >cmake.log 2>&1 || { cat cmake.log; exit 1; }
ninja -C build -j2 install >ninja.log 2>&1 || { tail -n 40 ninja.log; exit 1; }
cp src/License.txt "$prefix/License.txt"
echo "$version" >"$prefix/version"
