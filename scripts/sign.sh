#!/usr/bin/env bash
# Signs the build's Windows files in place with osslsigncode (Authenticode, SHA-256): VarnokSrv.exe,
# azteccodeQELM.dll, VarnokScan.exe and VarnokImageWorker.exe when present, and both MSIs in packages/.
#   VARNOK_SIGN_PFX            the certificate and key (PKCS#12), required
#   VARNOK_SIGN_PASSWORD       its password (may be empty)
#   VARNOK_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamping service (optional; without it a signature ends with the
#                              certificate)
# Usage: sign.sh [build folder, default build/win32]. Unsigned builds stay the default: nothing else calls this.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$here/build/win32}  # build/win64 for the 64-bit packages
: "${VARNOK_SIGN_PFX:?VARNOK_SIGN_PFX must name the PKCS#12 file to sign with}"
version=$(sed -n 's/^project(VarnokSrv VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")

sign() {
  local file
  for file in "$@"; do
    [ -f "$file" ] || { echo "sign.sh: $file is missing: build first" >&2; exit 1; }
    local options=(sign -pkcs12 "$VARNOK_SIGN_PFX" -pass "${VARNOK_SIGN_PASSWORD:-}" -h sha256 -n "VarnokSrv"
                   -in "$file" -out "$file.signed")
    [ -n "${VARNOK_SIGN_TIMESTAMP_URL:-}" ] && options+=(-ts "$VARNOK_SIGN_TIMESTAMP_URL")
    osslsigncode "${options[@]}" >/dev/null
    mv "$file.signed" "$file"
    echo "signed $file"
  done
}

binaries=("$build/VarnokSrv.exe" "$build/decoder/azteccodeQELM.dll")
[ -f "$build/VarnokScan.exe" ] && binaries+=("$build/VarnokScan.exe")
[ -f "$build/VarnokImageWorker.exe" ] && binaries+=("$build/VarnokImageWorker.exe")
sign "${binaries[@]}"
# The packages carry the files: in a build folder they are made again from the signed ones.
if [ -f "$build/build.ninja" ]; then
  ninja -C "$build" packages >/dev/null
fi
# The 32-bit build's packages are VarnokSrv-<version>*.msi, the 64-bit build's VarnokSrv-<version>-x64*.msi.
name=VarnokSrv-$version
[ -f "$build/packages/$name-x64.msi" ] && name+=-x64
sign "$build/packages/$name.msi" "$build/packages/$name-user.msi"
