#!/usr/bin/env bash
# Makes the Aztec reader's test families: each a way real symbols reach the reader (orientation, faint or dark
# print, office scans, the sample scan at every scale, pure 1-pixel symbols, ink spread, decoys, every code set
# switch from two encoders, structured append, reader initialisation, GS1 data, fat ink without a quiet zone, a
# phone held at a slant, pixels that are not square), as <family>-<n>.<ext> with <image>.txt holding the expected
# bytes and, for a sequence symbol, <image>.note what varnok-scan prints on stderr after "<image>: ".
# Stress images (no symbol; only their time counts) go into <output>/stress. Reproducible: fixed seeds.
# Usage: make-families.sh <generate-payload binary> <output folder> [family...]
set -euo pipefail
export LC_ALL=C  # bytes, not characters
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
generate=$1 out=$2; shift 2
all=(orient faint office sample pure spread decoy shifts sequence readerinit gs1 thick keystone turned textured tilted stress
     squeezed)
families=("$@"); [ ${#families[@]} -gt 0 ] || families=("${all[@]}")
mkdir -p "$out"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
n=0

expect() {  # expect <image> <bytes>
  printf '%s' "$2" >"$1.txt"
}
next() {  # next <family> <ext>: sets `file` to the next image's path
  n=$((n + 1)); file=$out/$1-$n.$2
}
# A symbol at 1 pixel per module, no quiet zone: the base every family scales and damages.
bare() {  # bare <file> <zint options...> (the data comes last, as -d TEXT or -i FILE)
  local file=$1; shift
  zint -b 92 --scale=0.5 --whitesp=0 --vwhitesp=0 "$@" -o "$file"
}
# Pseudo-random bytes without NUL, TAB, CR and LF (the scan line and the shell keep those apart).
random_bytes() {  # random_bytes <seed> <length>
  perl -e 'srand($ARGV[0]); my @ok = grep { $_ != 0 && $_ != 9 && $_ != 10 && $_ != 13 } 1 .. 255;
           print map { chr $ok[int rand @ok] } 1 .. $ARGV[1]' "$1" "$2"
}
certificate() {  # certificate <k>: payloads of both layouts and many vehicles
  if [ $(($1 % 2)) -eq 0 ]; then "$generate" "random:$1" current; else "$generate" "random:$1" older; fi
}

orient() {
  local k seed file i
  local -a turns=("" "-rotate 90" "-rotate 180" "-rotate 270" "-flop" "-flop -rotate 90" "-flop -rotate 180"
                  "-flop -rotate 270")
  for k in $(seq 1 30); do
    certificate "$k" >"$tmp/data"; truncate -s -1 "$tmp/data"
    bare "$tmp/o.png" --binary -i "$tmp/data"
    for i in "${!turns[@]}"; do
      next orient.full png
      # shellcheck disable=SC2086
      convert "$tmp/o.png" -filter point -resize 300% ${turns[$i]} -bordercolor white -border 12 -colorspace Gray "$file"
      cp "$tmp/data" "$file.txt"
    done
  done
  for seed in $(seq 1 12); do
    random_bytes "$seed" $((seed * 7)) >"$tmp/data"
    bare "$tmp/o.png" --binary -i "$tmp/data"
    for i in "${!turns[@]}"; do
      next "$([ "$(identify -format %w "$tmp/o.png")" -le 27 ] && echo orient.compact || echo orient.full)" png
      # shellcheck disable=SC2086
      convert "$tmp/o.png" -filter point -resize 400% ${turns[$i]} -bordercolor white -border 12 -colorspace Gray "$file"
      cp "$tmp/data" "$file.txt"
    done
  done
}

# Faint print (ink 150 on paper 250) and underexposed photos (10 on 110), module sizes that meet the binarizer's
# blocks at every alignment.
faint() {
  local px file text
  text=$(certificate 3)
  for px in 3 4 5 6 8 10 12 16 20 24 32 40 46; do
    next faint png
    zint -b 92 --fg=969696 --bg=FAFAFA --scale="$(echo "$px / 2" | bc -l)" --whitesp=3 --vwhitesp=3 -d "$text" -o "$tmp/f.png"
    convert "$tmp/f.png" -colorspace Gray "$file"; expect "$file" "$text"
    next dark png
    zint -b 92 --fg=0A0A0A --bg=6E6E6E --scale="$(echo "$px / 2" | bc -l)" --whitesp=3 --vwhitesp=3 -d "$text" -o "$tmp/f.png"
    convert "$tmp/f.png" -colorspace Gray -blur "0x$(echo "$px * 0.15" | bc -l)" -seed "$px" -attenuate 0.3 +noise Gaussian "$file"
    expect "$file" "$text"
  done
}

# A certificate page scanned at 120-300 dpi: 2.0-5.0 pixels per 0.42 mm module, the scanner's soft optics, a
# slight skew, JPEG 75.
office() {
  local k px dpi w h file text
  for k in 1 2 3 4 5 6; do
    text=$(certificate $((k + 40)))
    bare "$tmp/s.png" -d "$text"
    for px in 2.0 2.5 3.0 3.5 4.0 5.0; do
      dpi=$(echo "$px * 25.4 / 0.42" | bc -l)
      w=$(printf '%.0f' "$(echo "8.27 * $dpi" | bc -l)"); h=$(printf '%.0f' "$(echo "11.69 * $dpi" | bc -l)")
      next office jpg
      convert "$tmp/s.png" -colorspace Gray -filter Triangle -resize "$(echo "$px * 100" | bc -l)%" "$tmp/sym.png"
      convert -size "${w}x${h}" xc:white -font DejaVu-Sans -pointsize "$(echo "$dpi / 10" | bc)" \
        -draw "text $((w / 12)),$((h / 10)) 'DOWÓD REJESTRACYJNY — wydruk próbny, dane fikcyjne'" \
        -draw "text $((w / 12)),$((h / 10 + h / 30)) 'Seria DR/BAR 0417252   Organ wydający: Prezydent m.st. Warszawy'" \
        -draw "text $((w / 12)),$((h / 10 + h / 15)) 'A: WE 12345   D.1: MARKA   E: VIN00000000000001'" \
        "$tmp/sym.png" -geometry "+$((w / 2))+$((h / 4))" -composite -colorspace Gray \
        -background white -rotate "0.$((k % 3 * 3))" -blur "0x$(echo "$px * 0.22" | bc -l)" \
        -seed "$k" -attenuate 0.15 +noise Gaussian -quality 75 "$file"
      expect "$file" "$text"
    done
  done
}

sample() {
  local percent file text
  text=$(tr -d '\r\n' <"$here/examples/certificate-payload.txt")
  for percent in $(seq 55 3 100); do
    next sample png
    convert "$here/examples/certificate-scan.jpg" -resize "$percent%" "$file"; expect "$file" "$text"
  done
}

# What a program that makes symbols writes: 1 pixel per module, no or a partial quiet zone (15 x 15 up).
pure() {
  local vers text file length
  for vers in 1 2 3 4 5 6 7 8 12; do
    length=$((vers * 16))  # shortened until it fits the size
    until text=$(random_bytes $((vers + 100)) "$length" | tr -c 'A-Za-z0-9' 'x') &&
          bare "$tmp/p.png" --vers="$vers" -d "$text" 2>/dev/null; do length=$((length - 1)); done
    next pure.none png; convert "$tmp/p.png" -colorspace Gray "$file"; expect "$file" "$text"
    next pure.partial png
    convert "$tmp/p.png" -colorspace Gray -background white -gravity northwest -splice 2x1 "$file"; expect "$file" "$text"
    next pure.twopx png
    convert "$tmp/p.png" -colorspace Gray -filter point -resize 200% "$file"; expect "$file" "$text"
  done
}

# Toner and inkjet: dark modules 30 % wider or narrower than the grid (drawn at 20 px, 3 px on each side).
spread() {
  local k px way file text
  for k in 1 2 3; do
    text=$(certificate $((k + 60)))
    bare "$tmp/i.png" -d "$text"
    for px in 4 6 10; do
      for way in Erode Dilate; do
        next "spread.$([ $way = Erode ] && echo fat || echo thin)" png
        convert "$tmp/i.png" -colorspace Gray -filter point -resize 2000% -bordercolor white -border 60 \
          -morphology "$way" Square:3 -filter Triangle -resize "$((px * 5))%" "$file"
        expect "$file" "$text"
      done
    done
  done
}

# A small symbol among larger bull's-eyes that carry no orientation marks.
decoy() {
  local k text m x y rings draw d i file
  for k in $(seq 1 10); do
    if [ $((k % 2)) -eq 0 ]; then text=$(certificate $((k + 80))); else text="Decoy test $k: 0123456789"; fi
    bare "$tmp/d.png" -d "$text"
    convert "$tmp/d.png" -colorspace Gray -filter point -resize 300% "$tmp/sym.png"
    draw=()
    for i in $(seq 1 $((4 + k))); do
      m=$((6 + (i * 7 + k * 3) % 14)); rings=$((4 + 2 * ((i + k) % 2)))
      x=$(((i * 397 + k * 131) % 1500 + 100)); y=$(((i * 263 + k * 71) % 1000 + 100))
      for d in $(seq "$rings" -1 0); do
        draw+=(-fill "$([ $((d % 2)) -eq 0 ] && echo black || echo white)"
               -draw "rectangle $((x - d * m - m / 2)),$((y - d * m - m / 2)) $((x + d * m + m / 2)),$((y + d * m + m / 2))")
      done
    done
    next decoy png
    convert -size 1800x1300 xc:white "${draw[@]}" "$tmp/sym.png" -geometry "+$((150 + k * 97))+$((900 - k * 23))" \
      -composite -colorspace Gray "$file"
    expect "$file" "$text"
  done
}

# Every pair and triple of code sets (Upper, Lower, Mixed, Punct, Digit, bytes) in runs short enough for a shift
# and long enough for a latch, from zint and from ZXingWriter.
shifts() {
  local -A runs=([U]=QZAB [L]=xyab [M]='^@|~' [P]='!;$?' [D]=7395 [B]=$'\xe9\xb3\xf1\xa7')
  local a b c la lb lc text file
  for a in U L M P D B; do for b in U L M P D B; do for c in U L M P D B; do
    for lengths in "1 1 1" "3 2 3"; do
      read -r la lb lc <<<"$lengths"
      text=${runs[$a]:0:$la}${runs[$b]:0:$lb}${runs[$c]:0:$lc}
      next shifts.zint png
      zint -b 92 --binary --scale=1.5 -d "$text" -o "$tmp/z.png"
      convert "$tmp/z.png" -colorspace Gray -bordercolor white -border 6 "$file"; expect "$file" "$text"
      next shifts.zxing png
      ZXingWriter -size 1x1 -margin 0 Aztec "$(printf '%s' "$text" | iconv -f ISO-8859-1 -t UTF-8)" "$tmp/x.png"
      convert "$tmp/x.png" -colorspace Gray -filter point -resize 300% -bordercolor white -border 6 "$file"
      expect "$file" "$text"
    done
  done; done; done
}

# Structured append: a message split over symbols, with and without an identifier.
sequence() {
  local text count i id part file size
  text=$(certificate 90)
  for count in 2 3 5; do
    size=$(((${#text} + count - 1) / count))
    for id in "" "VRN7"; do
      for i in $(seq 1 "$count"); do
        part=${text:$(((i - 1) * size)):$size}
        next sequence png
        zint -b 92 --scale=1.5 --whitesp=2 --vwhitesp=2 --structapp="$i,$count${id:+,$id}" -d "$part" -o "$tmp/q.png"
        convert "$tmp/q.png" -colorspace Gray "$file"; expect "$file" "$part"
        printf 'part %d of %d%s\n' "$i" "$count" "${id:+, id $id}" >"$file.note"
      done
    done
  done
}

readerinit() {
  local text vers file
  for text in "PROGRAM 1" "Reader setup: beep off" "$(certificate 95)"; do
    for vers in compact full; do
      if [ "$vers" = compact ]; then
        [ ${#text} -le 30 ] || continue
        zint -b 92 --scale=1.5 --whitesp=2 --vwhitesp=2 --init --vers=1 -d "$text" -o "$tmp/r.png" 2>/dev/null ||
          zint -b 92 --scale=1.5 --whitesp=2 --vwhitesp=2 --init -d "$text" -o "$tmp/r.png"
      else
        zint -b 92 --scale=1.5 --whitesp=2 --vwhitesp=2 --init --vers=$((${#text} > 30 ? 20 : 6)) -d "$text" -o "$tmp/r.png"
      fi
      next "readerinit.$vers" png
      convert "$tmp/r.png" -colorspace Gray "$file"; expect "$file" "$text"
    done
  done
}

# A phone tilted towards one side: the far side 10-60 % shorter than the near one (and the symbol as much
# shorter across), modules of 3, 4 and 6 pixels on the near side, the far side turned to each of the four edges.
# Family keystone.<shortening>.<module>px.
keystone() {
  local k=0 short px e
  for short in 10 20 30 40 50 60; do
    for px in 3 4 6; do
      for e in 0 1; do
        k=$((k + 1))
        # The far edge: the top, or the right turned to the left by the rotation after it.
        keystone_view "keystone.$short.${px}px" "$(certificate $((k + 200)))" "$short" "$px" $((e * 90 + (k % 4) * 90))
      done
    done
  done
}

# The same tilt with the phone also turned by 15, 30 and 45 degrees: the far side no longer along a pixel row.
turned() {
  local k=0 short px turn
  for short in 40 50 60; do
    for px in 3 4; do
      for turn in 15 30 45; do
        k=$((k + 1))
        keystone_view "keystone.turned.$short.${px}px" "$(certificate $((k + 400)))" "$short" "$px" "$turn"
      done
    done
  done
}

# Certificates scanned coarsely (2 and 2.5 px modules, blur, JPEG 75) over texture: paper noise and a guilloche.
# Texture shows many small bull's-eyes; the symbol must still get its enlarged reading.
textured() {
  local k px text file background
  convert -size 1000x1000 xc: -fx '0.5+0.5*sin(i/7+8*sin(j/40)) > 0.85 ? 0.55 : 1' "$tmp/guilloche.png"
  convert -size 1000x1000 xc:gray90 -seed 3 -attenuate 0.6 +noise Gaussian -colorspace Gray "$tmp/noise.png"
  for k in 1 2; do
    text=$(certificate $((k + 500)))
    bare "$tmp/x.png" -d "$text"
    for px in 2 2.5; do
      convert "$tmp/x.png" -colorspace Gray -filter point -resize "$(echo "$px * 100" | bc)%" \
        -blur "0x$(echo "$px * 0.35" | bc -l)" -bordercolor white -border 8 "$tmp/x2.png"
      for background in noise guilloche; do
        next "textured.$background" jpg
        convert "$tmp/$background.png" "$tmp/x2.png" -gravity center -compose Darken -composite -colorspace Gray \
          -quality 75 "$file"
        expect "$file" "$text"
      done
    done
  done
}

# keystone_view <family> <text> <shortening %> <module px> <degrees>: the symbol with its top edge shortened,
# then turned, with the camera's slight blur.
keystone_view() {
  local family=$1 text=$2 short=$3 px=$4 turn=$5 w h d dh
  bare "$tmp/k.png" -d "$text"
  convert "$tmp/k.png" -colorspace Gray -filter point -resize "$((px * 100))%" -bordercolor white \
    -border $((px * 6)) "$tmp/k2.png"
  read -r w h < <(identify -format '%w %h\n' "$tmp/k2.png")
  d=$((w * short / 200)) dh=$((h * short / 400))
  next "$family" png
  convert "$tmp/k2.png" -virtual-pixel white -background white \
    -distort Perspective "0,0 $d,$dh  $w,0 $((w - d)),$dh  $w,$h $w,$h  0,$h 0,$h" \
    -rotate "$turn" -blur "0x$(echo "$px * 0.12" | bc -l)" "$file"
  expect "$file" "$text"
}

# GS1 data from zint: the leading FNC1 is no text, one after a field of variable length is sent as GS (0x1D).
# ZXingWriter writes no FNC1; a GS in its data is a character like any other and makes no GS1 symbol.
gs1() {
  local gs=$'\x1d' file i
  local -a data=("[01]09501101530003[17]140704[10]AB-123" "[01]09501101530003[10]LOT7[21]SER1234"
                 "[00]095011010000000018" "[10]A1[21]B2[22]C3[240]PART55" "[8004]590123412345ABC")
  local -a text=("01095011015300031714070410AB-123" "010950110153000310LOT7${gs}21SER1234"
                 "00095011010000000018" "10A1${gs}21B2${gs}22C3${gs}240PART55" "8004590123412345ABC")
  for i in "${!data[@]}"; do
    next gs1.zint png
    zint -b 92 --gs1 --scale=1.5 --whitesp=2 --vwhitesp=2 -d "${data[$i]}" -o "$tmp/g.png"
    convert "$tmp/g.png" -colorspace Gray "$file"; expect "$file" "${text[$i]}"
    echo "GS1 data" >"$file.note"
  done
  for i in "${!text[@]}"; do
    next gs1.zxing png
    ZXingWriter -size 1x1 -margin 0 Aztec "$gs${text[$i]}" "$tmp/x.png"
    convert "$tmp/x.png" -colorspace Gray -filter point -resize 300% -bordercolor white -border 6 "$file"
    expect "$file" "$gs${text[$i]}"
  done
}

# Ink spread without a quiet zone: dark modules half as wide again as the grid up to nearly twice, the image cut
# at the symbol's edge (so the outer modules run into it).
thick() {
  local k px grow file text
  for k in 1 2; do
    text=$(certificate $((k + 100)))
    bare "$tmp/t.png" -d "$text"
    for px in 5 8 12; do
      for grow in 25 35 45; do
        next thick png
        convert "$tmp/t.png" -colorspace Gray -filter point -resize "$((px * 100))%" -bordercolor white -border "$px" \
          -morphology Erode "Disk:$(echo "$px * $grow / 100" | bc -l)" -shave "${px}x${px}" "$file"
        expect "$file" "$text"
      done
    done
  done
}

# Pixels that are not square (a fax at 204 x 98 dpi, a scanner with unequal resolutions): symbols scanned at 4 or 6
# pixels a module, some turned, squeezed down the columns (squeezed.down) or along the rows (squeezed.across) by
# 1.5 to 2.2.
squeezed() {
  local k px ratio percent file text
  for k in 1 2 3; do
    text=$(certificate $((k + 500)))
    bare "$tmp/q.png" -d "$text"
    for px in 4 6; do
      convert "$tmp/q.png" -colorspace Gray -filter point -resize "$((px * 100))%" -bordercolor white \
        -border $((px * 4)) -background white -rotate $(((k - 1) * 9)) "$tmp/q2.png"
      for ratio in 1.5 1.8 2.0 2.2; do
        percent=$(printf '%.2f' "$(echo "100 / $ratio" | bc -l)")
        next squeezed.down png
        convert "$tmp/q2.png" -resize "100x$percent%" "$file"; expect "$file" "$text"
        next squeezed.across png
        convert "$tmp/q2.png" -resize "${percent}x100%" "$file"; expect "$file" "$text"
      done
    done
  done
}

# Photos at a slant: each corner moved by up to 22 % of the side (its own direction per corner), modules of 4-6
# pixels, the camera's blur and JPEG 70.
tilted() {
  local k px text w h file c x y
  local -a corners
  for k in $(seq 1 12); do
    px=$((4 + k % 3)); text=$(certificate $((k + 300)))
    bare "$tmp/t.png" -d "$text"
    convert "$tmp/t.png" -colorspace Gray -filter point -resize "$((px * 100))%" -bordercolor white \
      -border $((px * 8)) "$tmp/t2.png"
    read -r w h < <(identify -format '%w %h\n' "$tmp/t2.png")
    corners=()
    for c in "0 0" "$w 0" "$w $h" "0 $h"; do
      read -r x y <<<"$c"
      # Inwards by 0-22 % of the side, fixed per image and corner.
      local mx=$(( (k * 37 + x * 13 + y * 7) % 23 )) my=$(( (k * 53 + x * 5 + y * 11) % 23 ))
      corners+=("$x,$y $((x == 0 ? w * mx / 100 : w - w * mx / 100)),$((y == 0 ? h * my / 100 : h - h * my / 100))")
    done
    next tilted.blur jpg
    convert "$tmp/t2.png" -virtual-pixel white -background white -distort Perspective "${corners[*]}" \
      -rotate "$((k * 29))" -blur "0x$(echo "$px * 0.25" | bc -l)" -quality 70 "$file"
    expect "$file" "$text"
  done
}

# Concentric squares (a bull's-eye in every row), and noise: no symbol, only their time counts.
squares() {  # squares <size> <ring width> <file>
  perl -MCompress::Zlib -e '
    my ($size, $ring, $file) = @ARGV; my $c = ($size - 1) / 2;
    my $stripes = join "", map { int(abs($_ - $c) / $ring) % 2 ? "\xff" : "\0" } 0 .. $size - 1;
    open my $f, ">", $file or die; binmode $f;
    sub chunk { my ($t, $d) = @_; print $f pack("N", length $d), $t, $d, pack("N", crc32($t . $d)) }
    print $f "\x89PNG\r\n\x1a\n";
    chunk("IHDR", pack("NNCCCCC", $size, $size, 8, 0, 0, 0, 0));
    my ($z) = deflateInit(-Level => 6); my $idat = "";
    for my $y (0 .. $size - 1) {
      my $dy = abs($y - $c); my $row = $stripes;
      my ($lo, $hi) = (int($c - $dy) + 1, $size - 1 - (int($c - $dy) + 1));
      substr($row, $lo, $hi - $lo + 1) = (int($dy / $ring) % 2 ? "\xff" : "\0") x ($hi - $lo + 1) if $hi >= $lo;
      $idat .= $z->deflate("\0" . $row);
    }
    $idat .= $z->flush; chunk("IDAT", $idat); chunk("IEND", "");' "$1" "$2" "$3"
}
stress() {
  mkdir -p "$out/stress"
  squares 4000 1 "$out/stress/squares-4000-ring1.png"
  squares 4000 5 "$out/stress/squares-4000-ring5.png"
  squares 10000 2 "$out/stress/squares-10000-ring2.png"
  convert -size 4000x4000 xc:gray50 -seed 1 +noise Random -colorspace Gray -threshold 50% "$out/stress/noise-4000.png"
  convert -size 3000x3000 xc:gray50 -seed 2 -attenuate 2 +noise Gaussian -colorspace Gray "$out/stress/noise-3000-gray.png"
}

for family in "${families[@]}"; do
  [[ " ${all[*]} " == *" $family "* ]] || { echo "unknown family: $family" >&2; exit 2; }
  "$family"
done
echo "$n images in $out"
