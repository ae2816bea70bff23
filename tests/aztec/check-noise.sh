#!/usr/bin/env bash
# The false-read corpus: COUNT images that hold no symbol (make-noise's bull's-eyes in module noise, forged symbol
# centres, module noise, halftone photos, guilloche; text pages drawn here), read by one varnok-scan; then one PDF
# whose every page is its own 200 px image of bull's-eyes in module noise. Prints per family how many images were
# taken for a symbol (each such file and its text too) and exits 1 when any was. Reproducible: fixed seeds.
# Usage: check-noise.sh <varnok-scan> <make-noise> <count> [seed] [folder to keep the images in]
# VARNOK_NOISE_COUNT, when set, takes the place of count (the test command's emulated 32-bit tree reads fewer).
set -euo pipefail
export LC_ALL=C
scan=$1 make=$2 count=${VARNOK_NOISE_COUNT:-$3} seed=${4:-1} out=${5:-}
if [ -z "$out" ]; then out=$(mktemp -d); trap 'rm -rf "$out"' EXIT; else rm -rf "$out"; mkdir -p "$out"; fi
"$make" "$out" "$count" "$seed" >/dev/null

# Pages of running text at 8-30 points in three faces, with the letters and signs most like rings.
words=(DOWÓD REJESTRACYJNY pojazd właściciel Organ wydający Seria numer data ważności kategoria masa moc 0000 8888
       @ © ® O o 0 ◎ ▣ □ ■ ○ ● Lorem ipsum dolor sit amet consectetur adipiscing elit sed eiusmod tempor)
fonts=(DejaVu-Sans DejaVu-Serif DejaVu-Sans-Mono)
for i in $(seq 1 $((count * 3 / 100))); do
  RANDOM=$((seed * 1000 + i))
  width=$((300 + RANDOM % 400)) height=$((250 + RANDOM % 450)) points=$((8 + RANDOM % 23))
  text=""
  for _ in $(seq 1 $((width * height / points / points / 3))); do text+="${words[RANDOM % ${#words[@]}]} "; done
  convert -size "${width}x$height" xc:white -fill black -font "${fonts[RANDOM % 3]}" -pointsize "$points" \
    -annotate "+4+$points" "$(printf '%s' "$text" | fold -s -w $((width * 10 / points / 6)))" -colorspace Gray \
    "$out/$(printf 'text-%05d.png' "$i")"
done

pages=("$out"/rings200-*.png)
img2pdf "${pages[@]}" -o "$out/pages.pdf"

status=0
"$scan" "$out" >"$out/lines" 2>/dev/null || status=$?
[ $status -le 1 ] || { echo "varnok-scan failed ($status)"; exit 2; }
declare -A total=() read=()
while IFS=$'\t' read -r file text _; do
  [[ $file == *.png ]] || continue
  family=$(basename "$file"); family=${family%%-*}
  total[$family]=$(( ${total[$family]:-0} + 1 ))
  if [ "$text" != '!' ]; then
    read[$family]=$(( ${read[$family]:-0} + 1 ))
    echo "READ $(basename "$file"): ${text:0:60}"
  fi
done <"$out/lines"
all=0 bad=0
printf '%-12s %7s %7s\n' family images "read as a symbol"
for family in $(printf '%s\n' "${!total[@]}" | sort); do
  printf '%-12s %7d %7d\n' "$family" "${total[$family]}" "${read[$family]:-0}"
  all=$((all + total[$family])); bad=$((bad + ${read[$family]:-0}))
done
pdf=$(grep -F "$out/pages.pdf"$'\t' "$out/lines" | cut -f2)
printf 'noise: %d of %d images read as a symbol; a PDF of %d such pages: %s\n' "$bad" "$all" "${#pages[@]}" \
  "$([ "$pdf" = '!' ] && echo "no symbol" || echo "READ AS A SYMBOL")"
[ "$bad" -eq 0 ] && [ "$pdf" = '!' ] && [ "$all" -gt 0 ]
