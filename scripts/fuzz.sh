#!/usr/bin/env bash
# Fuzzes with libFuzzer under ASan/UBSan: the decoder's payload-to-XML path, starting from generated payloads,
# for the given time, then NormalizeNumber, the renamings and the result-file names for half of it, the Aztec
# reader (images, damaged symbols, bit streams) for half, its data stream decoder for a quarter and the PDF reader
# (from the generated sample scans) for half; then the reader, its stream decoder and the PDF reader again as
# 32-bit x86 code (the Windows target's size arithmetic) for a quarter each.
#   scripts/fuzz.sh [seconds]      (default 60; CI runs it bounded)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
build="$here/build/fuzz"

configure() {  # build folder, extra CMake arguments
  cmake -S "$here" -B "$1" -G Ninja -DVARNOK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined,float-cast-overflow -fno-sanitize-recover=all" \
        "${@:2}" >/dev/null
}
configure "$build"
ninja -C "$build" payload_fuzz text_fuzz aztec_fuzz encodation_fuzz pdf_fuzz generate-payload
build32="$here/build/fuzz32"
configure "$build32" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/native-i686.cmake"
ninja -C "$build32" aztec_fuzz encodation_fuzz pdf_fuzz

# Seeds: each fictional certificate in each layout, as scanned text (first byte 1), as UTF-16 text for the wide
# entry (5) and as decoded bytes (0).
seeds="$build/seeds"
mkdir -p "$seeds" "$build/corpus"
for certificate in car lorry random:1 random:2; do
  for layout in current older; do
    name="${certificate/:/-}-$layout"
    text=$("$build/tests/generator/generate-payload" "$certificate" "$layout")
    { printf '\001'; printf '%s' "$text"; } >"$seeds/$name.text"
    { printf '\000'; printf '%s' "$text" | base64 -d; } >"$seeds/$name.bytes"
    { printf '\005'; printf '%s' "$text" | iconv -t UTF-16LE; } >"$seeds/$name.wide"
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
echo "== encodation_fuzz"
# Seeds: a byte of bits to drop, then a stream through each set, shift, latch, binary run, FLG and header.
mkdir -p "$build/encodation-corpus" "$build/encodation-seeds"
n=0
for stream in "11110 0011 0100 1111 11111 00010 11101001 00100001 00010 00011" \
              "11100 00010 11100 11111 00001 10000000 00100" \
              "11101 10100 11111 00001 11111111 10110 11100 00010 11110 00000 00001 11111 111" \
              "11101 11110 00110 11111 00010 1111111111" \
              "00000 00000 010 0100 1000 00010 00000 00000 000 00011" \
              "11110 0101 0000 00000 000 0110 1111 11111 1" \
              "11101 11101 00001 01010 00101 00001 00011 00100 11100 11001" \
              "11111 00000 00000000001 $(printf '01111000 %.0s' $(seq 32)) 00010"; do
  n=$((n + 1))
  { printf '\000'; perl -e 'my $b = join "", @ARGV; $b .= "1" x ((8 - length($b) % 8) % 8); print pack "B*", $b' $stream; } \
      >"$build/encodation-seeds/stream-$n"
done
"$build/tests/fuzz/encodation_fuzz" -max_total_time=$((seconds / 4)) -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    "$build/encodation-corpus" "$build/encodation-seeds"
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
for target in aztec encodation pdf; do
  echo "== ${target}_fuzz (i686)"
  "$build32/tests/fuzz/${target}_fuzz" -max_total_time=$((seconds / 4)) -print_final_stats=1 -timeout=10 \
      -rss_limit_mb=2048 -max_len=65536 "$build/$target-corpus"
done
