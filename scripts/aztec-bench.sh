#!/usr/bin/env bash
# The Aztec reader's speed and memory, one process per image as a user runs it: a tight crop (the sample scan), a
# 300-dpi A4 page with one symbol (JPEG) and a 600-dpi one, and the stress images without a symbol, up to the
# 120-megapixel limit (nested squares with bull's-eyes in every row, noise), which must give up cleanly. Prints
# the median wall time and the median processor time (the fairer figure on a shared machine) and the worst
# stress image; asserts nothing. With a reference reader at hand (zxing-cpp's ZXingReader, built by hand: its path in
# VARNOK_REFERENCE_READER, or build/reference/ZXingReader) the same files are read by it too, and then the
# standard certificate corpus and images that hold no symbol, one process per image, ours against it.
#   scripts/aztec-bench.sh [repeats, default 5]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
repeats=${1:-5}
"$here/scripts/install-deps.sh" >/dev/null
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$here/build/release" varnok-scan generate-payload >/dev/null
scan=${VARNOK_SCAN:-$here/build/release/varnok-scan}  # another build of ours, to compare
reference=${VARNOK_REFERENCE_READER:-$here/build/reference/ZXingReader}
if [ -x "$reference" ]; then echo "reference reader: $reference"
else echo "no reference reader at $reference: our figures only"; reference=; fi
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
# measure <command...>: sets wall, cpu (median milliseconds over the repeats) and rss_kib (of the last run).
measure() {
  local walls=() cpus=() start user system
  for _ in $(seq "$repeats"); do
    start=$(date +%s%N)
    /usr/bin/time -f '%U %S %M' -o "$work/usage" "$@" >"$work/line" 2>/dev/null || true
    walls+=($(( ($(date +%s%N) - start) / 1000000 )))
    read -r user system rss_kib < <(tail -n 1 "$work/usage")  # after a failure, time says so on a line before
    cpus+=("$(echo "($user + $system) * 1000 / 1" | bc)")
  done
  wall=$(printf '%s\n' "${walls[@]}" | median)
  cpu=$(printf '%s\n' "${cpus[@]}" | median)
}
worst=0 worst_name=
printf '%-26s %12s %10s %10s %9s  %-24s' image pixels "wall ms" "cpu ms" "peak MiB" result
[ -z "$reference" ] && echo || printf ' %11s %10s\n' "ref wall ms" "ref cpu ms"
for image in "$work"/crop.jpg "$work"/page300.jpg "$work"/page600.jpg "$work"/families/stress/* "$work"/*.pgm; do
  name=$(basename "$image")
  read -r width height < <(identify -ping -format '%w %h\n' "$image" | head -n 1)
  measure "$scan" "$image"
  ours=$cpu
  result=$(cut -f2- "$work/line" | cut -c1-24)
  printf '%-26s %12s %10s %10s %9s  %-24s' "$name" $((width * height)) "$wall" "$cpu" $((rss_kib / 1024)) "$result"
  if [ -z "$reference" ]; then echo
  elif [[ $name == *.pgm ]]; then printf ' %11s\n' "(no PGM)"
  else measure "$reference" -formats Aztec "$image"; printf ' %11s %10s\n' "$wall" "$cpu"; fi
  case $name in crop.jpg|page*) ;; *) if [ "$ours" -gt "$worst" ]; then worst=$ours worst_name=$name; fi ;; esac
done
echo "worst stress image: $worst_name, $worst ms of processor time (target: any image up to the limit within 2 s)"
echo "targets, whole process: crop <= 10 ms, 300-dpi page <= 70 ms and no slower than the README's last figure"
[ -n "$reference" ] || exit 0

# Sets of files, one process per image, each file read `repeats` times by each reader: the sums of the medians of
# the processor time, to a hundredth of a millisecond where perf is installed (time(1) counts in tens).
cpu_of() {  # cpu_of <command...>: prints the median processor milliseconds
  local runs=()
  for _ in $(seq "$repeats"); do
    if command -v perf >/dev/null; then
      runs+=("$(LC_ALL=C perf stat -x, -e task-clock "$@" 2>&1 >/dev/null | awk -F, '/task-clock/ { print $1 }')")
    else
      /usr/bin/time -f '%U %S' -o "$work/usage" "$@" >/dev/null 2>&1 || true
      runs+=("$(tail -n 1 "$work/usage" | awk '{ print ($1 + $2) * 1000 }')")
    fi
  done
  printf '%s\n' "${runs[@]}" | sort -g | sed -n "$(( (repeats + 1) / 2 ))p"
}
compare() {  # compare <label> <target> <files...>: the sums, their ratio, and the file where ours is furthest behind
  local label=$1 target=$2 ours=0 theirs=0 image mine its worst=0 worst_name=; shift 2
  for image in "$@"; do
    mine=$(cpu_of "$scan" "$image") its=$(cpu_of "$reference" -formats Aztec "$image")
    ours=$(echo "$ours + $mine" | bc) theirs=$(echo "$theirs + $its" | bc)
    if [ "$(echo "$its > 0 && $mine > $worst * $its" | bc)" = 1 ]; then
      worst=$(echo "scale=2; $mine / $its" | bc) worst_name=$(basename "$image")
    fi
  done
  printf '%-34s %3d files  processor time: ours %9.2f ms, reference %9.2f ms, ratio %s (target %s); worst file %s, %s\n' \
    "$label" $# "$ours" "$theirs" "$(echo "scale=2; $ours / $theirs" | bc)" "$target" "$worst_name" "$worst"
}
"$here/tests/aztec/make-corpus.sh" "$here/build/release/tests/generator/generate-payload" "$work/standard" standard \
    >/dev/null
compare "standard certificate corpus" "<= 0.8" "$work"/standard/*.png "$work"/standard/*.jpg
# Without a symbol: a text page, a photo-like texture, noise, blank paper, and the slanted views blurred past
# reading.
mkdir -p "$work/empty"
convert -size 1654x2339 xc:white -font DejaVu-Sans -pointsize 24 \
  -draw "text 100,200 'DOWÓD REJESTRACYJNY — wydruk próbny, dane fikcyjne'" -colorspace Gray -blur 0x0.6 \
  -quality 80 "$work/empty/text.jpg"
convert -size 1200x900 -seed 4 plasma:fractal -colorspace Gray -blur 0x2 -quality 80 "$work/empty/plasma.jpg"
convert -size 800x800 xc:gray60 -seed 3 -attenuate 0.5 +noise Gaussian -colorspace Gray "$work/empty/noise.png"
convert -size 2480x3508 xc:white -colorspace Gray "$work/empty/blank.png"
"$here/tests/aztec/make-families.sh" "$here/build/release/tests/generator/generate-payload" "$work/slanted" tilted \
    >/dev/null
for image in "$work"/slanted/*.jpg; do
  convert "$image" -blur 0x6 "$work/empty/blurred-$(basename "$image")"
done
compare "images without a readable symbol" "<= 2, each file too" "$work"/empty/*
# A4 pages as offices scan them (tests/aztec/make-pages.sh), with the certificate and without.
pages=$("$here/scripts/page-corpus.sh")
compare "page corpus" "<= 0.8" "$pages"/page-*.{jpg,png}
compare "pages without a symbol" "<= 1.5" "$pages"/blank-*.{jpg,png}
