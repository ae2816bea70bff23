#!/usr/bin/env bash
# Fuzzes with libFuzzer under ASan/UBSan: the decoder's payload-to-XML path, starting from generated payloads,
# for the given time, then NormalizeNumber, the renamings and the result-file names for half of it, then the
# Aztec reader (images, damaged symbols, bit streams) for half of it and its data stream decoder for a quarter.
#   scripts/fuzz.sh [seconds]      (default 60; CI runs it bounded)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
build="$here/build/fuzz"

cmake -S "$here" -B "$build" -G Ninja -DVARNOK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" >/dev/null
ninja -C "$build" payload_fuzz text_fuzz aztec_fuzz encodation_fuzz generate-payload

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
