#!/usr/bin/env bash
# The Aztec reader's speed and memory, one process per image as a user runs it: a tight crop (the sample scan), a
# 300-dpi A4 page with one symbol (JPEG) and a 600-dpi one, and the stress images without a symbol, up to the
# 120-megapixel limit (nested squares with bull's-eyes in every row, noise), which must give up cleanly. Prints
# the median wall time and the median processor time (the fairer figure on a shared machine) and the worst
# stress image; asserts nothing.
#   scripts/aztec-bench.sh [repeats, default 5]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
repeats=${1:-5}
"$here/scripts/install-deps.sh" >/dev/null
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$here/build/release" varnok-scan generate-payload >/dev/null
scan=$here/build/release/varnok-scan
work=$(mktemp -d /tmp/varnok-aztec-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$here/examples/certificate-scan.jpg" "$work/crop.jpg"
convert "$here"/tests/aztec/corpus/page-*.png -depth 8 -resize '2480x3508!' -quality 90 "$work/page300.jpg"
convert "$work/page300.jpg" -filter point -resize 200% -quality 90 "$work/page600.jpg"
"$here/tests/aztec/make-families.sh" "$here/build/release/tests/generator/generate-payload" "$work/families" stress \
    >/dev/null
# The largest image the reader takes (10954 x 10954 gray, as PGM: PNG encoding would take longer than the read):
# nested squares of 3-pixel rings, and uniform noise.
perl -e 'my ($n, $s) = @ARGV; my $c = int($n / 2); print "P5\n$n $n\n255\n";
         my $p = join("", map { chr((int(abs($_ - $c) / $s) % 2) ? 255 : 0) } 0 .. $n - 1);
         for my $y (0 .. $n - 1) { my $d = abs($y - $c); my $r = $p; my $lo = $c - $d < 0 ? 0 : $c - $d;
           my $hi = $c + $d > $n - 1 ? $n - 1 : $c + $d;
           substr($r, $lo, $hi - $lo + 1) = chr((int($d / $s) % 2) ? 255 : 0) x ($hi - $lo + 1); print $r }' \
    10954 3 >"$work/squares-120mp.pgm"
{ printf 'P5\n10954 10954\n255\n'; head -c $((10954 * 10954)) /dev/urandom; } >"$work/noise-120mp.pgm"

median() { sort -n | sed -n "$(( (repeats + 1) / 2 ))p"; }
worst=0 worst_name=
printf '%-26s %12s %10s %10s %9s  %s\n' image pixels "wall ms" "cpu ms" "peak MiB" result
for image in "$work"/crop.jpg "$work"/page300.jpg "$work"/page600.jpg "$work"/families/stress/* "$work"/*.pgm; do
  name=$(basename "$image")
  read -r width height < <(identify -ping -format '%w %h\n' "$image" | head -n 1)
  walls=() cpus=()
  for _ in $(seq "$repeats"); do
    start=$(date +%s%N)
    /usr/bin/time -f '%U %S %M' -o "$work/usage" "$scan" "$image" >"$work/line" 2>/dev/null || true
    walls+=($(( ($(date +%s%N) - start) / 1000000 )))
    read -r user system rss_kib < <(tail -n 1 "$work/usage")  # after a failure, time says so on a line before
    cpus+=("$(echo "($user + $system) * 1000 / 1" | bc)")
  done
  wall=$(printf '%s\n' "${walls[@]}" | median)
  cpu=$(printf '%s\n' "${cpus[@]}" | median)
  result=$(cut -f2- "$work/line" | cut -c1-24)
  printf '%-26s %12s %10s %10s %9s  %s\n' "$name" $((width * height)) "$wall" "$cpu" $((rss_kib / 1024)) "$result"
  case $name in crop.jpg|page*) ;; *) if [ "$cpu" -gt "$worst" ]; then worst=$cpu worst_name=$name; fi ;; esac
done
echo "worst stress image: $worst_name, $worst ms of processor time (target: any image up to the limit within 2 s)"
echo "targets, whole process: crop <= 10 ms, 300-dpi page <= 70 ms"
