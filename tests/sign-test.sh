#!/usr/bin/env bash
# Signs copies of the build's files with a throwaway self-signed certificate made on the spot, then verifies every
# signature against it; a file changed after signing must fail the check.
# Usage: sign-test.sh <build folder>
set -euo pipefail
build=$(realpath "$1")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
scratch=$(mktemp -d /tmp/varnok-sign.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
version=$(sed -n 's/^project(VarnokSrv VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")
name=VarnokSrv-$version
[ -f "$build/packages/$name-x64.msi" ] && name+=-x64

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Varnok test signing" \
        -addext "extendedKeyUsage=codeSigning" -keyout "$scratch/key.pem" -out "$scratch/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$scratch/key.pem" -in "$scratch/cert.pem" -out "$scratch/sign.pfx" \
        -passout pass:test-only 2>/dev/null

copy="$scratch/build"
mkdir -p "$copy/decoder" "$copy/packages"
cp "$build/VarnokSrv.exe" "$build/VarnokScan.exe" "$build/VarnokImageWorker.exe" "$copy/"
cp "$build/decoder/azteccodeQELM.dll" "$copy/decoder/"
cp "$build/packages/$name.msi" "$build/packages/$name-user.msi" "$copy/packages/"
VARNOK_SIGN_PFX="$scratch/sign.pfx" VARNOK_SIGN_PASSWORD=test-only "$here/scripts/sign.sh" "$copy"

failed=0
for file in "$copy/VarnokSrv.exe" "$copy/VarnokScan.exe" "$copy/VarnokImageWorker.exe" "$copy/decoder/azteccodeQELM.dll" \
            "$copy/packages/$name.msi" "$copy/packages/$name-user.msi"; do
  if osslsigncode verify -CAfile "$scratch/cert.pem" -in "$file" >"$scratch/verify.txt" 2>&1 &&
     grep -q "Signature verification: ok" "$scratch/verify.txt"; then
    echo "ok: $(basename "$file") signed and verified"
  else
    echo "FAILED: $(basename "$file")"; cat "$scratch/verify.txt"; failed=1
  fi
done
# The unsigned build is left as it was, and a signed file changed afterwards no longer verifies.
osslsigncode verify -in "$build/VarnokSrv.exe" >/dev/null 2>&1 && { echo "FAILED: the build itself was signed"; failed=1; }
printf 'x' | dd of="$copy/VarnokSrv.exe" bs=1 seek=1000 conv=notrunc 2>/dev/null
if osslsigncode verify -CAfile "$scratch/cert.pem" -in "$copy/VarnokSrv.exe" >/dev/null 2>&1; then
  echo "FAILED: a changed EXE still verifies"; failed=1
else
  echo "ok: a changed EXE fails verification"
fi
exit $failed
