#!/usr/bin/env bash
# Makes the image files the ImageReader tests read: one certificate's Aztec symbol in every format and pixel
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
# The second of three symbols of a message (structured append, identifier VRN7): its part is the text.
zint -b 92 --scale=1.5 --whitesp=4 --vwhitesp=4 --structapp=2,3,VRN7 -d "${text:0:40}" -o "$out/part-2-of-3.png"
# A JPEG whose comment holds "%PDF-": still an image.
readable comment.jpg -colorspace Gray -quality 75 -set comment 'scanned with %%PDF-1.4 export'
readable cmyk.jpg -colorspace CMYK -quality 90
# A fax's standard resolution in the JPEG's own header (JFIF density): pixels twice as high as wide.
readable fax-density.jpg -colorspace Gray -quality 90 -units PixelsPerInch -density 204x98
readable symbol.bmp -type TrueColor
# Larger than the 16 MB the file's bytes are handed to the image worker in.
readable large.bmp -background white -gravity center -extent 2600x2400 -type TrueColor
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

# PDF scans: JPEG and Flate images, Group 4 fax, the code on the second page, object streams, linearised, rewritten
# by Ghostscript.
pdf() {  # pdf <name> <command...>: a readable PDF made by the command
  local name=$1; shift
  "$@"
  printf '%s' "$text" >"$out/$name.txt"
}
convert "$out/base.png" -colorspace Gray -depth 1 -compress Group4 "$out/g4.tif"
pdf scan-jpeg.pdf img2pdf -o "$out/scan-jpeg.pdf" "$out/photo.jpg"
pdf scan-flate.pdf img2pdf -o "$out/scan-flate.pdf" "$out/gray8.png"
pdf scan-g4.pdf tiff2pdf -o "$out/scan-g4.pdf" "$out/g4.tif"
pdf scan-two-pages.pdf img2pdf -o "$out/scan-two-pages.pdf" "$out/no-symbol.png" "$out/gray8.png"
pdf scan-object-streams.pdf qpdf --object-streams=generate "$out/scan-flate.pdf" "$out/scan-object-streams.pdf"
pdf scan-linearized.pdf qpdf --linearize "$out/scan-two-pages.pdf" "$out/scan-linearized.pdf"
pdf scan-ghostscript.pdf gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile="$out/scan-ghostscript.pdf" \
    "$out/scan-jpeg.pdf"
# The PDFs refused: encrypted, JBIG2, a page drawn with vector paths only (the test makes one over the size limit
# itself); and one without a symbol, one without any object.
qpdf --encrypt '' owner 256 -- "$out/scan-jpeg.pdf" "$out/encrypted.pdf"
# qpdf writes the cross-reference table for the objects as given (and warns that it had to: exit code 3).
printf '%s\n' '%PDF-1.4' '1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj' \
  '2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj' \
  '3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /XObject << /J 5 0 R >> >> /Contents 4 0 R >> endobj' \
  '4 0 obj << /Length 5 >> stream' '/J Do' 'endstream endobj' \
  '5 0 obj << /Type /XObject /Subtype /Image /Width 100 /Height 100 /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /JBIG2Decode /Length 4 >> stream' \
  'JB2!' 'endstream endobj' 'trailer << /Root 1 0 R >>' >"$out/jbig2-raw.pdf"
qpdf "$out/jbig2-raw.pdf" "$out/jbig2.pdf" 2>/dev/null || [ $? -eq 3 ]
rm -f "$out/jbig2-raw.pdf"
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile="$out/vector.pdf" \
   -c '0 0 0 setrgbcolor 100 100 moveto 300 300 lineto stroke 50 50 40 40 rectfill showpage'
img2pdf -o "$out/no-symbol.pdf" "$out/no-symbol.png"
img2pdf -o "$out/damaged.pdf" "$out/no-symbol.png" "$out/damaged.png"
printf '%%PDF-1.4\nnothing but a header\n' >"$out/broken.pdf"
rm -f "$out"/*.bin "$out/g4.tif"

# Files built to hold a decoder for long, in a folder of their own.
"$(dirname "$0")/make-hostile.sh" "$out"
