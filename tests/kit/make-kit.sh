#!/usr/bin/env bash
# Assembles the Windows test kit, VarnokSrv-<version>-tests.zip, from a Windows build.
# Usage: make-kit.sh <build folder (build/win32 or build/win64)> <package name (VarnokSrv-2.0.7, VarnokSrv-2.0.7-x64)>
set -euo pipefail
build=$(realpath "$1") package=$2
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
name=$package-tests
kit=$build/packages/$name
rm -rf "$kit" "$kit.zip"
mkdir -p "$kit"/{server,bin,logs,data/payloads,data/expected} "$kit"/decoders/{ours,decoder-scripted,decoder-no-export,decoder-other-bits,decoder-missing-dependency}

cp "$source_dir/tests/kit/run-tests.cmd" "$source_dir/tests/kit/README.txt" "$kit/"
cp "$build/VarnokSrv.exe" "$build/VarnokScan.exe" "$build/VarnokImageWorker.exe" "$kit/server/"
cp "$build/decoder/azteccodeQELM.dll" "$kit/decoders/ours/"
cp "$build/tests/decoder-scripted/azteccodeQELM.dll" "$kit/decoders/decoder-scripted/"
for decoder in decoder-no-export decoder-other-bits decoder-missing-dependency; do
  cp "$build/tests/$decoder/azteccodeQELM.dll" "$kit/decoders/$decoder/"
done
for test in TypeLibraryTest FileReaderTest CodetDataTest PlatformSettingsTest ReliabilityTest DecoderPayloadTest \
            ImageReaderTest RegistrationTest FieldsToolTest KitTool SecurityTest ShareReader; do
  cp "$build/tests/$test.exe" "$kit/bin/"
done
cp "$build/examples/read-certificate.exe" "$build/examples/read-certificate64.exe" \
   "$build/examples/delphi/ReadCertificate.exe" "$kit/bin/"
cp "$source_dir/examples/certificate.xml" "$source_dir/examples/certificate-scan.jpg" \
   "$source_dir/tests/scripts/reader_client.js" "$kit/data/"
cp "$source_dir"/tests/payloads/*.txt "$kit/data/payloads/"
cp "$source_dir/tests/scripts/expected/lorry-older-vtable.txt" "$source_dir/tests/scripts/expected/certificate-scan.txt" \
   "$kit/data/expected/"
"$source_dir/tests/images/make-images.sh" "$source_dir/tests/payloads/lorry-older.txt" \
    "$source_dir/tests/payloads/car-current.txt" "$kit/data/images" >/dev/null
"$source_dir/tests/images/make-certificates.sh" "$source_dir/tests/payloads" "$kit/data/certificates"
mkdir "$kit/data/images/readable"
for expected in "$kit"/data/images/*.txt; do cp "${expected%.txt}" "$kit/data/images/readable/"; done
(cd "$build/packages" && cmake -E tar cf "$name.zip" --format=zip "$name")
echo "$kit.zip"
