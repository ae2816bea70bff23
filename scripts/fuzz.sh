#!/usr/bin/env bash
# Fuzzes with libFuzzer under ASan/UBSan, two targets at a time (one per core), all within the given seconds: the
# decoder's payload-to-XML path from generated payloads (and again as 32-bit x86 code, as the shipped DLL runs),
# NormalizeNumber with the renamings and the result-file names, the Aztec reader (images, damaged symbols, bit
# streams) and its data stream decoder, the PDF reader (from the generated sample scans), and the image structure
# checks with our own RLE decoding, and the whole reading core (PDF or image, stb, the Aztec reader) looking for
# slow inputs as well as faults, after its committed corpus of slow inputs (tests/fuzz/slow-corpus) each ran within
# its bound; all but the text checks also as 32-bit x86 code (the Windows target's size arithmetic). A target that
# fails or runs no input fails the script.
#   scripts/fuzz.sh [seconds]      (default 60; CI runs it bounded)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
build="$here/build/fuzz"

source "$here/scripts/host.sh"
configure() {  # build folder, sanitizers, extra CMake arguments
  cmake -S "$here" -B "$1" -G Ninja -DVARNOK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVARNOK_FUZZ_SANITIZERS="fuzzer,$2" \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,$2,float-cast-overflow -fno-sanitize-recover=all" \
        "${@:3}" >/dev/null
}
configure "$build" address,undefined
ninja -C "$build" payload_fuzz text_fuzz aztec_fuzz encodation_fuzz pdf_fuzz image_fuzz reading_fuzz generate-payload
build32="$here/build/fuzz32"
# Where the host runs no 32-bit code these run under qemu-user, where a 32-bit AddressSanitizer program spins at start.
sanitizers32=address,undefined
[ "$VARNOK_HOST_KIND" = x64-only ] && sanitizers32=undefined
configure "$build32" "$sanitizers32" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/native-i686.cmake"
ninja -C "$build32" payload_fuzz aztec_fuzz encodation_fuzz pdf_fuzz image_fuzz reading_fuzz

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

mkdir -p "$build/text-corpus"
printf '1\0003\0009\0008\000,\0000\0000\000 \000k\000g\000' >"$build/text-corpus/number"
printf '<\000N\000u\000m\000e\000r\000_\000D\000R\000>\000' >"$build/text-corpus/renaming"
mkdir -p "$build/aztec-corpus" "$build/aztec-seeds"
for dump in "$here"/tests/aztec/symbols/v0[1-9].dump "$here"/tests/aztec/symbols/eci.dump; do
  { printf '\001'; cat "$dump"; } >"$build/aztec-seeds/$(basename "$dump")"
done
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
mkdir -p "$build/pdf-corpus"
"$here/tests/pdf/make-pdfs.sh" "$build/pdf-samples" >/dev/null
mkdir -p "$build/pdf-seeds"
for pdf in "$build"/pdf-samples/*.pdf; do
  if [ "$(stat -c %s "$pdf")" -le 16384 ]; then cp "$pdf" "$build/pdf-seeds/"; fi
done
for fax in "$build"/pdf-samples/*.fax; do
  { printf '\372\107'; cat "$fax"; } >"$build/pdf-seeds/$(basename "$fax")"
done
# Seeds: 4 x 2 bitmaps in RLE8 and RLE4 (runs, an absolute block, a move, the ends of line and bitmap), a GIF of
# two frames, a progressive JPEG's markers and a TIFF's first directory.
mkdir -p "$build/image-corpus" "$build/image-seeds"
bitmap() {  # bits, compression, run data (hex)
  perl -e 'my ($bits, $compression, $hex) = @ARGV; my $data = pack "H*", $hex; my $colours = 1 << $bits;
           print "BM", pack("V3", 54 + 4 * $colours + length $data, 0, 54 + 4 * $colours),
                 pack("V l< l< v2 V6", 40, 4, 2, 1, $bits, $compression, length $data, 2835, 2835, 0, 0),
                 pack("C*", map { ($_ * 40 % 256) x 3, 0 } 0 .. $colours - 1), $data' "$@"
}
bitmap 8 1 020102020000000301020100000201000001 >"$build/image-seeds/rle8.bmp"
bitmap 4 2 0412000003220001 >"$build/image-seeds/rle4.bmp"
printf 'GIF89a\002\000\002\000\200\000\000\000\000\000\377\377\377!\371\004\000\012\000\000\000,\000\000\000\000\002\000\002\000\000\002\002\204Q\000,\000\000\000\000\002\000\002\000\000\002\002\204Q\000;' \
    >"$build/image-seeds/frames.gif"
printf '\377\330\377\302\000\013\010\002\274\002\130\001\001\021\000\377\304\000\004\000\000\377\332\000\010\001\001\000\000\077\000\022\377\000\064\377\323\126\377\331' \
    >"$build/image-seeds/progressive.jpg"
printf 'II*\000\010\000\000\000\003\000\000\001\004\000\001\000\000\000\014\000\000\000\001\001\004\000\001\000\000\000\012\000\000\000\021\001\004\000\002\000\000\000\144\000\000\000\000\000\000\000' \
    >"$build/image-seeds/strips.tif"

# The whole reading core: the sample scans and images, and pages of a megapixel (its pixel limit) that make the
# Aztec reader work hardest, a checkerboard and stripes.
mkdir -p "$build/reading-corpus" "$build/reading-seeds"
for sample in "$build"/pdf-samples/*.pdf "$build"/pdf-samples/*.png "$build"/pdf-samples/*.jpg; do
  if [ "$(stat -c %s "$sample")" -le 65536 ]; then cp "$sample" "$build/reading-seeds/"; fi
done
convert -size 1000x1000 pattern:checkerboard -colorspace gray -depth 8 "$build/reading-seeds/checkerboard.png"
convert -size 1000x1000 xc: -fx "(i%37<18)^(j%23<11)" -depth 1 "$build/reading-seeds/stripes.png"
# Emulated, a 32-bit run takes several times the processor time of a native one.
base32=3000 per_kb32=20
[ "$VARNOK_HOST_KIND" = x64-only ] && base32=25000 per_kb32=150

# Two lanes of targets, one per core, each lane's seconds adding up to the total. A target's runs (native and
# 32-bit) share a lane, so no two fuzzers write one corpus at once.
share() { local s=$((seconds * $1 / $2)); echo $((s > 0 ? s : 1)); }
logs="$build/logs"
rm -rf "$logs"
mkdir -p "$logs"
fuzz() {  # name, binary, seconds, libFuzzer arguments and folders
  local name=$1 binary=$2 time=$3
  shift 3
  if ! "$binary" -max_total_time="$time" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 "$@" \
      >"$logs/$name.log" 2>&1; then
    echo "$name: the fuzzer failed" >>"$logs/$name.log"
    return 1
  fi
  local units
  units=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$name.log" | tail -n 1)
  if [ "${units:-0}" -le 0 ]; then
    echo "$name: no input was run" >>"$logs/$name.log"
    return 1
  fi
}
# The slow inputs kept: each within its bound, run alone before any fuzzing.
slow_corpus() {  # name, binary and what runs it
  local name=$1
  shift
  if ! "$@" "$here"/tests/fuzz/slow-corpus/* >"$logs/$name.log" 2>&1; then
    echo "$name: an input of the slow-input corpus failed" >>"$logs/$name.log"
    return 1
  fi
  grep -q '^reading_fuzz: [1-9]' "$logs/$name.log" || { echo "$name: no input was run" >>"$logs/$name.log"; return 1; }
}
order=(payload_fuzz "payload_fuzz (i686)" text_fuzz encodation_fuzz "encodation_fuzz (i686)" "slow-input corpus"
       reading_fuzz aztec_fuzz "aztec_fuzz (i686)" pdf_fuzz "pdf_fuzz (i686)" image_fuzz "image_fuzz (i686)"
       "slow-input corpus (i686)" "reading_fuzz (i686)")
first_lane() {
  local status=0
  fuzz payload_fuzz "$build/tests/fuzz/payload_fuzz" "$(share 3 8)" "$build/corpus" "$seeds" || status=1
  fuzz "payload_fuzz (i686)" "$build32/tests/fuzz/payload_fuzz" "$(share 1 4)" "$build/corpus" || status=1
  fuzz text_fuzz "$build/tests/fuzz/text_fuzz" "$(share 1 8)" "$build/text-corpus" || status=1
  fuzz encodation_fuzz "$build/tests/fuzz/encodation_fuzz" "$(share 1 16)" \
      "$build/encodation-corpus" "$build/encodation-seeds" || status=1
  fuzz "encodation_fuzz (i686)" "$build32/tests/fuzz/encodation_fuzz" "$(share 1 16)" -max_len=65536 \
      "$build/encodation-corpus" || status=1
  slow_corpus "slow-input corpus" "$build/tests/fuzz/reading_fuzz" || status=1
  fuzz reading_fuzz "$build/tests/fuzz/reading_fuzz" "$(share 1 8)" -max_len=65536 -timeout=60 \
      "$build/reading-corpus" "$build/reading-seeds" "$here/tests/fuzz/slow-corpus" || status=1
  return $status
}
second_lane() {
  local status=0
  fuzz aztec_fuzz "$build/tests/fuzz/aztec_fuzz" "$(share 1 4)" "$build/aztec-corpus" "$build/aztec-seeds" || status=1
  fuzz "aztec_fuzz (i686)" "$build32/tests/fuzz/aztec_fuzz" "$(share 1 8)" -max_len=65536 "$build/aztec-corpus" ||
      status=1
  fuzz pdf_fuzz "$build/tests/fuzz/pdf_fuzz" "$(share 1 8)" -max_len=65536 "$build/pdf-corpus" "$build/pdf-seeds" ||
      status=1
  fuzz "pdf_fuzz (i686)" "$build32/tests/fuzz/pdf_fuzz" "$(share 1 8)" -max_len=65536 "$build/pdf-corpus" || status=1
  fuzz image_fuzz "$build/tests/fuzz/image_fuzz" "$(share 1 8)" -max_len=65536 \
      "$build/image-corpus" "$build/image-seeds" || status=1
  fuzz "image_fuzz (i686)" "$build32/tests/fuzz/image_fuzz" "$(share 1 8)" -max_len=65536 "$build/image-corpus" ||
      status=1
  VARNOK_FUZZ_MS_BASE=$base32 VARNOK_FUZZ_MS_PER_KB=$per_kb32 \
      slow_corpus "slow-input corpus (i686)" "$build32/tests/fuzz/reading_fuzz" || status=1
  # Its corpus is the native run's, written meanwhile in the other lane: it starts from the seeds alone, named
  # one by one (a 32-bit libFuzzer lists no folder whose entries have 64-bit inode numbers).
  local seeds32
  seeds32=$(printf '%s,' "$build"/reading-seeds/* "$here"/tests/fuzz/slow-corpus/*)
  VARNOK_FUZZ_MS_BASE=$base32 VARNOK_FUZZ_MS_PER_KB=$per_kb32 \
      fuzz "reading_fuzz (i686)" "$build32/tests/fuzz/reading_fuzz" "$(share 1 8)" -max_len=65536 -timeout=120 \
      -seed_inputs="${seeds32%,}" || status=1
  return $status
}
first_lane &
first=$!
second_lane &
second=$!
status=0
wait "$first" || status=1
wait "$second" || status=1
for name in "${order[@]}"; do
  echo "== $name"
  cat "$logs/$name.log"
done
exit $status
