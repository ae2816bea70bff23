#!/usr/bin/env bash
# Fuzzes with libFuzzer under ASan/UBSan: the decoder's payload-to-XML path, starting from generated payloads,
# for the given time, then NormalizeNumber, the renamings and the result-file names for half of it, then the
# Aztec reader (images, damaged symbols, bit streams) for half of it, then the PDF reader (from the generated
# sample scans) for half of it.
#   scripts/fuzz.sh [seconds]      (default 60; CI runs it bounded)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
build="$here/build/fuzz"

cmake -S "$here" -B "$build" -G Ninja -DVARNOK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" >/dev/null
ninja -C "$build" payload_fuzz text_fuzz aztec_fuzz pdf_fuzz generate-payload

# Seeds: each fictional certificate in each layout, as scanned text (first byte 1) and as decoded bytes (0).
seeds="$build/seeds"
mkdir -p "$seeds" "$build/corpus"
for certificate in car lorry random:1 random:2; do
  for layout in current older; do
    name="${certificate/:/-}-$layout"
    text=$("$build/tests/generator/generate-payload" "$certificate" "$layout")
    { printf '\001'; printf '%s' "$text"; } >"$seeds/$name.text"
    { printf '\000'; printf '%s' "$text" | base64 -d; } >"$seeds/$name.bytes"
  done
done

echo "== payload_fuzz"
"$build/tests/fuzz/payload_fuzz" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    "$build/corpus" "$seeds"
echo "== text_fuzz"
mkdir -p "$build/text-corpus"
printf '1\0003\0009\0008\000,\0000\0000\000 \000k\000g\000' >"$build/text-corpus/number"
printf '<\000N\000u\000m\000e\000r\000_\000D\000R\000>\000' >"$build/text-corpus/renaming"
"$build/tests/fuzz/text_fuzz" -max_total_time=$((seconds / 2)) -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    "$build/text-corpus"
echo "== aztec_fuzz"
mkdir -p "$build/aztec-corpus" "$build/aztec-seeds"
for dump in "$here"/tests/aztec/symbols/v0[1-9].dump "$here"/tests/aztec/symbols/eci.dump; do
  { printf '\001'; cat "$dump"; } >"$build/aztec-seeds/$(basename "$dump")"
done
"$build/tests/fuzz/aztec_fuzz" -max_total_time=$((seconds / 2)) -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    "$build/aztec-corpus" "$build/aztec-seeds"
echo "== pdf_fuzz"
mkdir -p "$build/pdf-corpus"
"$here/tests/pdf/make-pdfs.sh" "$build/pdf-samples" >/dev/null
mkdir -p "$build/pdf-seeds"
for pdf in "$build"/pdf-samples/*.pdf; do
  if [ "$(stat -c %s "$pdf")" -le 16384 ]; then cp "$pdf" "$build/pdf-seeds/"; fi
done
for fax in "$build"/pdf-samples/*.fax; do
  { printf '\372\107'; cat "$fax"; } >"$build/pdf-seeds/$(basename "$fax")"
done
"$build/tests/fuzz/pdf_fuzz" -max_total_time=$((seconds / 2)) -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 "$build/pdf-corpus" "$build/pdf-seeds"
