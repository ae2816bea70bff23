#!/usr/bin/env bash
# Files built to hold a decoder for long: each must end quickly with a clear answer. Made from the readable
# symbol (base.png) where the file should still read. Small where the check does not depend on the size; with
# --full (the benchmark) the JPEG declares 10000 x 12000 pixels as well.
# Usage: make-hostile.sh <folder with base.png> [--full]
set -euo pipefail
out=$1 full=${2:-}
hostile=$out/hostile
mkdir -p "$hostile"

# A progressive JPEG whose last scan is repeated 500 times.
convert -size 600x700 xc:white -fill black -draw "rectangle 10,10 200,200" -interlace JPEG -quality 80 \
        "$hostile/scan.jpg"
perl -e '
  local $/; open my $f, "<", $ARGV[0] or die; binmode $f; my $j = <$f>;
  my $last = rindex($j, "\xFF\xDA"); my $end = rindex($j, "\xFF\xD9");
  my $scan = substr($j, $last, $end - $last);
  open my $o, ">", $ARGV[1] or die; binmode $o;
  print $o substr($j, 0, $end), $scan x 500, "\xFF\xD9";' "$hostile/scan.jpg" "$hostile/repeated-scans.jpg"
rm "$hostile/scan.jpg"
if [ "$full" = --full ]; then
  sof=$(LC_ALL=C grep -obUaP '\xFF\xC2' "$hostile/repeated-scans.jpg" | head -n 1 | cut -d: -f1)
  printf '\x2E\xE0\x27\x10' | dd of="$hostile/repeated-scans.jpg" bs=1 seek=$((sof + 5)) conv=notrunc 2>/dev/null
fi

# A GIF of 10,000 frames, the symbol in each: only the first is read.
convert "$out/base.png" -colorspace Gray "$hostile/one-frame.gif"
perl -e '
  local $/; open my $f, "<", $ARGV[0] or die; binmode $f; my $g = <$f>;
  my $at = 13; $at += 3 << ((ord(substr($g, 10, 1)) & 7) + 1) if ord(substr($g, 10, 1)) & 0x80;
  my $frame = $at;
  my $blocks = sub { while (1) { my $n = ord(substr($g, $at++, 1)); last if $n == 0; $at += $n; } };
  while (substr($g, $at, 1) eq "\x21") { $at += 2; $blocks->(); }
  die "no image" unless substr($g, $at, 1) eq "\x2C";
  my $flags = ord(substr($g, $at + 9, 1)); $at += 10 + (($flags & 0x80) ? 3 << (($flags & 7) + 1) : 0) + 1;
  $blocks->();
  open my $o, ">", $ARGV[1] or die; binmode $o;
  print $o substr($g, 0, $frame), substr($g, $frame, $at - $frame) x 10000, "\x3B";' \
  "$hostile/one-frame.gif" "$hostile/frames.gif"
rm "$hostile/one-frame.gif"
cp "$out/gray8.png.txt" "$hostile/frames.gif.txt"

# RLE8 BMPs: a blank page of 10000 x 12000 in runs of 255 (within the pixel limit, all of it described), and one
# whose runs go past the end of their row.
perl -e '
  my ($width, $height, $file, $overrun) = @ARGV;
  my $row = ""; my $left = $width;
  while ($left > 0) { my $n = $left > 255 ? 255 : $left; $row .= pack("CC", $n, 1); $left -= $n; }
  $row = pack("CC", 255, 1) x 3 if $overrun;
  $row .= "\0\0";
  my $data = $row x $height . "\0\1";
  my $palette = pack("V", 0) . pack("V", 0xFFFFFF) . "\0" x (4 * 254);
  my $offset = 14 + 40 + length $palette;
  open my $o, ">", $file or die; binmode $o;
  print $o "BM", pack("VVV", $offset + length $data, 0, $offset),
           pack("VllvvVVllVV", 40, $width, $height, 1, 8, 1, length $data, 2835, 2835, 256, 0), $palette, $data;' \
  10000 12000 "$hostile/blank-rle8.bmp"
perl -e '
  my $palette = pack("V", 0) . pack("V", 0xFFFFFF) . "\0" x (4 * 254);
  my $data = pack("CC", 255, 1) x 3 . "\0\0" . "\0\1";
  my $offset = 14 + 40 + length $palette;
  open my $o, ">", $ARGV[0] or die; binmode $o;
  print $o "BM", pack("VVV", $offset + length $data, 0, $offset),
           pack("VllvvVVllVV", 40, 100, 100, 1, 8, 1, length $data, 2835, 2835, 256, 0), $palette, $data;' \
  "$hostile/overrun-rle8.bmp"

# A TIFF of 12 x 10,000,000 gray pixels in 10,000,000 strips of one row, all of them the same 12 bytes (80 MB).
perl -e '
  my ($width, $height, $file) = @ARGV;
  my $offsets = 8 + 2 + 12 * 9 + 4; my $counts = $offsets + 4 * $height; my $pixels = $counts + 4 * $height;
  my @tags = ([256, 4, 1, $width], [257, 4, 1, $height], [258, 3, 1, 8], [259, 3, 1, 1], [262, 3, 1, 1],
              [273, 4, $height, $offsets], [277, 3, 1, 1], [278, 4, 1, 1], [279, 4, $height, $counts]);
  open my $o, ">", $file or die; binmode $o;
  print $o "II", pack("vV", 42, 8), pack("v", scalar @tags), (map { pack("vvVV", @$_) } @tags), pack("V", 0);
  my $chunk = 100000;
  for (my $i = 0; $i < $height; $i += $chunk) { print $o pack("V", $pixels) x $chunk; }
  for (my $i = 0; $i < $height; $i += $chunk) { print $o pack("V", $width) x $chunk; }
  print $o "\xFF" x $width;' 12 10000000 "$hostile/strips.tif"

# Readable: a 16-bit gray PNG with the grays of a photograph, and a 16-bit CMYK TIFF.
convert "$out/base.png" -blur 0x0.6 -colorspace Gray -depth 16 -define png:bit-depth=16 -define png:color-type=0 \
        "$hostile/gray16-photo.png"
convert "$out/base.png" -colorspace CMYK -depth 16 "$hostile/cmyk16.tif"
for f in gray16-photo.png cmyk16.tif; do cp "$hostile/frames.gif.txt" "$hostile/$f.txt"; done

# A WebP: Windows 10 and 11 decode it, Wine has no decoder for it.
cwebp -quiet -lossless "$out/base.png" -o "$hostile/symbol.webp"
cp "$hostile/frames.gif.txt" "$hostile/symbol.webp.txt"
