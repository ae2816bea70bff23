#!/usr/bin/env bash
# The Aztec reader's speed and memory on one core: a tight crop, a 300-dpi and a 600-dpi A4 page with one
# symbol, and a noisy 35-megapixel page without one (it must give up cleanly). Prints figures; asserts nothing.
#   scripts/aztec-bench.sh [repeats, default 5]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
repeats=${1:-5}
"$here/scripts/install-deps.sh" >/dev/null
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$here/build/release" varnok-scan >/dev/null
scan=$here/build/release/varnok-scan
work=$(mktemp -d /tmp/varnok-aztec-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
corpus=$here/tests/aztec/corpus
cp "$corpus"/clean-1.png "$work/crop.png"
cp "$corpus"/page-*.png "$work/page300.png"
convert "$work/page300.png" -filter point -resize 200% "$work/page600.png"
convert -size 7000x5000 xc:gray50 -seed 3 -attenuate 2 +noise Gaussian -colorspace Gray "$work/noise35mp.png"
printf '%-12s %12s %12s %10s %16s\n' image pixels "ms (median)" "peak MiB" "peak / gray size"
for name in crop page300 page600 noise35mp; do
  image=$work/$name.png
  read -r width height < <(identify -format '%w %h\n' "$image" | head -n 1)
  pixels=$((width * height))
  times=()
  for _ in $(seq "$repeats"); do
    start=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$work/rss" "$scan" "$image" >/dev/null || true
    times+=($(( ($(date +%s%N) - start) / 1000000 )))
  done
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (repeats + 1) / 2 ))p")
  rss_kib=$(tail -n 1 "$work/rss")
  printf '%-12s %12s %12s %10s %16s\n' "$name" "$pixels" "$median" $((rss_kib / 1024)) \
      "$(echo "scale=2; $rss_kib * 1024 / $pixels" | bc)"
done
echo "targets: crop <= 20 ms, 300-dpi page <= 300 ms, 600-dpi page <= 1200 ms, memory <= 3 x the gray image"
echo "(peak is the whole varnok-scan process: stb_image's PNG decoding buffers included, the reader's own share is"
echo " the gray image it is given plus one byte per pixel for the binary image and a small per-block table)"
