#!/usr/bin/env bash
# Makes Aztec test images of certificate payloads: zint (or ZXingWriter) symbols damaged by ImageMagick as real
# capture does. Reproducible (fixed seeds). Names: <family>-<n>.<ext>; <name>.txt holds the expected text.
# Usage: make-corpus.sh <generate-payload binary> <output folder> [standard|hard]
set -euo pipefail
generate=$1 out=$2 level=${3:-standard}
mkdir -p "$out"
k=1; [ "$level" = hard ] && k=2   # the hard corpus: about twice the damage
magick() { convert "$@"; }

symbol() {  # symbol <payload> <file> <pixels per module> [zint options...]
  local text=$1 file=$2 px=$3; shift 3
  zint -b 92 --scale="$(echo "$px / 2" | bc -l)" --whitesp=4 --vwhitesp=4 "$@" -d "$text" -o "$file"
}
n=0
add() {  # add <family> <payload> <pixels per module> <convert operations...>
  local family=$1 text=$2 px=$3; shift 3
  n=$((n + 1))
  local name="$out/$family-$n" ext=png
  case "$family" in jpeg|combo) ext=jpg ;; esac
  symbol "$text" "$name.base.png" "$px"
  magick "$name.base.png" -colorspace Gray "$@" "$name.$ext"
  rm -f "$name.base.png"
  printf '%s' "$text" >"$name.$ext.txt"
}
payload() { "$generate" "$@"; }
car=$(payload car current); lorry=$(payload lorry older); random1=$(payload random:7 current); random2=$(payload random:11 older)

add clean "$car" 3
add clean "$lorry" 8
add rotate "$car" 4 -background white -rotate $((17 * k))
add rotate "$random1" 3 -background white -rotate $((133 + 4 * k))
add tilted "$car" 4 -background white -virtual-pixel white -distort Perspective "0,0 $((10*k)),$((15*k))  %[fx:w],0 %[fx:w-$((20*k))],$((5*k))  0,%[fx:h] $((5*k)),%[fx:h-$((10*k))]  %[fx:w],%[fx:h] %[fx:w],%[fx:h]"
add blur "$lorry" 5 -blur 0x$((k))
add noise "$random2" 4 -seed 1 -attenuate $((k)) +noise Gaussian
add jpeg "$car" 4 -quality $((30 / k))
add lighting "$random1" 4 \( +clone -sparse-color Barycentric "0,0 gray(20%) %[fx:w],%[fx:h] white" \) -compose Multiply -composite
add contrast "$lorry" 4 +level $((25 * k))%,$((100 - 15 * k))%
add barrel "$car" 5 -background white -virtual-pixel white -distort Barrel "0 0 $(echo "0.04 * $k" | bc -l) 1"
add wave "$random2" 5 -background white -wave $((2 * k))x300
add reversed "$car" 4 -negate
add combo "$random1" 4 -background white -rotate $((23 * k)) -blur 0x0.8 -seed 2 -attenuate 0.5 +noise Gaussian -quality 50
# The finest modules the reader takes, and a symbol from a second, independent encoder.
random3=$(payload random:5 current)
add module2px "$random3" 2
n=$((n + 1))
ZXingWriter -size 420x420 Aztec "$random3" "$out/zx.png"
magick "$out/zx.png" -colorspace Gray -background white -rotate $((12 * k)) "$out/otherencoder-$n.png"
rm -f "$out/zx.png"
printf '%s' "$random3" >"$out/otherencoder-$n.png.txt"
# A 300-dpi A4 page: the symbol (about 0.33 mm modules) among lines of printed text.
n=$((n + 1))
symbol "$car" "$out/page.sym.png" 4
magick -size 2480x3508 xc:white -font DejaVu-Sans -pointsize 28 \
  -draw "text 150,300 'DOWÓD REJESTRACYJNY — wydruk próbny, dane fikcyjne'" \
  -draw "text 150,360 'Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor'" \
  -draw "text 150,420 'incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud'" \
  "$out/page.sym.png" -geometry +1400+1200 -composite -colorspace Gray -rotate $((2 * k)) "$out/page-$n.png"
rm -f "$out/page.sym.png"
printf '%s' "$car" >"$out/page-$n.png.txt"
echo "$n images in $out"
