#!/usr/bin/env bash
# Makes the image files the ImageReader tests read: one certificate's Aztec symbol in every format and pixel
# layout the system's decoders meet (8-bit, 1-bit, 16-bit, palette, alpha, palette transparency, CMYK, two-page
# TIFF), and the images behind each error. Reproducible; <name>.txt holds the expected text where a symbol is to be read.
# Usage: make-images.sh <payload file> <second payload file> <output folder>
set -euo pipefail
payload=$1 other=$2 out=$3
rm -rf "$out"; mkdir -p "$out"
text=$(cat "$payload")
zint -b 92 --scale=1.5 --whitesp=4 --vwhitesp=4 -d "$text" -o "$out/base.png"
zint -b 92 --scale=1.5 --whitesp=4 --vwhitesp=4 -d "$(cat "$other")" -o "$out/other.png"

readable() {  # readable <name> <convert arguments...>: the symbol, converted
  local name=$1; shift
  convert "$out/base.png" "$@" "$out/$name"
  printf '%s' "$text" >"$out/$name.txt"
}
readable gray8.png -colorspace Gray -depth 8 -define png:color-type=0
readable bilevel.png -colorspace Gray -depth 1
readable rgb16.png -fill "#204080" -opaque black -depth 16 -define png:bit-depth=16 -define png:color-type=2
readable gray16.png -colorspace Gray -depth 16 -define png:bit-depth=16 -define png:color-type=0
readable palette.png -fill '#402010' -opaque black -define png:color-type=3
# Transparent paper over black: read only when transparency is taken as white.
readable alpha.png -negate -alpha copy -fill black -colorize 100 -define png:color-type=6
# The same with a palette: a PNG's transparent entry (tRNS) and a GIF's transparent colour.
convert "$out/base.png" -negate -alpha copy -fill black -colorize 100 "PNG8:$out/alpha-palette.png"
convert "$out/base.png" -negate -alpha copy -fill black -colorize 100 "$out/alpha-palette.gif"
printf '%s' "$text" | tee "$out/alpha-palette.png.txt" >"$out/alpha-palette.gif.txt"
readable photo.jpg -colorspace Gray -quality 75
readable cmyk.jpg -colorspace CMYK -quality 90
readable symbol.bmp -type TrueColor
readable symbol.gif -colorspace Gray
convert "$out/base.png" "$out/other.png" -colorspace Gray "$out/two-pages.tif"
printf '%s' "$text" >"$out/two-pages.tif.txt"

# The errors: no symbol, a symbol too damaged to read, files that are not images, a size refused unread.
convert -size 400x300 xc:white -fill black -draw 'rectangle 40,40 360,52' -draw 'rectangle 40,80 300,92' -draw 'circle 200,200 240,200' "$out/no-symbol.png"
size=$(identify -format '%w' "$out/base.png")
convert "$out/base.png" -fill white -draw "rectangle 0,0 $((size / 4)),$size" \
        -draw "rectangle $((size * 3 / 4)),0 $size,$size" "$out/damaged.png"
head -c 400 "$out/gray8.png" >"$out/truncated.png"
printf 'To nie jest obraz.\r\n' >"$out/text.png"

be32() { printf "\\x$(printf %02x $(($1 >> 24 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 & 255)))"; }
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
# A PNG chunk: its CRC-32 is the one gzip keeps (little-endian) in its trailer.
chunk() {  # chunk <type> <data file>
  be32 "$(stat -c %s "$2")"
  { printf '%s' "$1"; cat "$2"; } >"$out/chunk.bin"
  cat "$out/chunk.bin"
  gzip -c "$out/chunk.bin" | tail -c 8 | head -c 4 | od -An -tx1 | tr -d ' \n' |
    sed 's/\(..\)\(..\)\(..\)\(..\)/\\x\4\\x\3\\x\2\\x\1/' | xargs -0 printf
}
{ be32 30000; be32 30000; printf '\x08\x00\x00\x00\x00'; } >"$out/ihdr.bin"
printf '\x78\x9c\x03\x00\x00\x00\x00\x01' >"$out/idat.bin"
: >"$out/iend.bin"
{ printf '\x89PNG\r\n\x1a\n'; chunk IHDR "$out/ihdr.bin"; chunk IDAT "$out/idat.bin"; chunk IEND "$out/iend.bin"; } \
  >"$out/huge.png"
# A BMP header claiming 20000 x 20000 pixels at 24 bits, with a few bytes of pixels.
{ printf 'BM'; le32 70; le32 0; le32 54; le32 40; le32 20000; le32 20000; printf '\x01\x00\x18\x00'; le32 0
  le32 0; le32 2835; le32 2835; le32 0; le32 0; printf '\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff'; } \
  >"$out/huge.bmp"
# A JPEG whose frame header claims 60000 x 60000 pixels (the gray photo's, patched).
cp "$out/photo.jpg" "$out/huge.jpg"
sof=$(LC_ALL=C grep -obUaP '\xFF\xC0' "$out/huge.jpg" | head -n 1 | cut -d: -f1)
printf '\xEA\x60\xEA\x60' | dd of="$out/huge.jpg" bs=1 seek=$((sof + 5)) conv=notrunc 2>/dev/null
rm -f "$out"/*.bin
# A TIFF of 16,777,217 x 7 pixels with alpha, transparent (117 megapixels, within the limit): a row of colour is
# 67 MB. Deflated strips of one row each.
perl -MCompress::Zlib -e '
  my ($width, $height, $file) = @ARGV;
  my $strip = compress("\0" x (4 * $width), 9);
  my $bits = 8 + $height * length $strip;
  my ($offsets, $counts) = ($bits + 8, $bits + 8 + 4 * $height);
  my @tags = ([256, 4, 1, $width], [257, 4, 1, $height], [258, 3, 4, $bits], [259, 3, 1, 8], [262, 3, 1, 2],
              [273, 4, $height, $offsets], [277, 3, 1, 4], [278, 4, 1, 1], [279, 4, $height, $counts],
              [284, 3, 1, 1], [338, 3, 1, 2]);
  open my $f, ">", $file or die; binmode $f;
  print $f "II", pack("vV", 42, $counts + 4 * $height), $strip x $height, pack("v4", 8, 8, 8, 8),
           pack("V*", map { 8 + $_ * length $strip } 0 .. $height - 1), pack("V*", (length $strip) x $height),
           pack("v", scalar @tags), (map { pack("vvVV", @$_) } @tags), pack("V", 0);' 16777217 7 "$out/wide-alpha.tif"
