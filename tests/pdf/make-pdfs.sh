#!/usr/bin/env bash
# Makes the PDF scans the native PDF tests read, with the tools offices' scanners and converters resemble:
# img2pdf (JPEG as is, PNG as Flate), tiff2pdf (Group 4), Ghostscript's pdfwrite, qpdf (object streams,
# linearised, encrypted). Beside each NAME.pdf, NAME.pdf.list is what pdfimages sees in it (page, object,
# width, height, encoding), the yardstick for our own listing. Raw Group 3 strips (NAME.fax) and the bilevel
# image they encode (bilevel.pgm) test the fax decoder; paper.jpg is a background for mixed-raster pages.
# Usage: make-pdfs.sh <output folder>
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=$1
rm -rf "$out"; mkdir -p "$out"
cd "$out"
scan=$here/examples/certificate-scan.jpg
clean=$here/tests/aztec/corpus/clean-1.png
other=$here/tests/aztec/corpus/clean-2.png

convert "$clean" -colorspace Gray -blur 0x0.7 -depth 8 -define png:color-type=0 gray.png
convert "$clean" -fill '#203060' -opaque black -type TrueColor -define png:color-type=2 rgb.png
convert "$clean" -fill '#402010' -opaque black -blur 0x0.7 -colors 12 -define png:color-type=3 palette.png
convert -size 400x300 xc:white -fill black -draw 'rectangle 40,40 360,52' -draw 'circle 200,200 240,200' \
        -colorspace Gray blank.png
convert -size 800x600 xc:'#e8e8e8' -seed 7 +noise Gaussian -colorspace Gray -quality 80 paper.jpg
convert "$clean" -colorspace Gray -depth 1 -compress Group4 g4.tif
convert "$clean" -colorspace Gray -depth 1 -compress Fax g3.tif
tiffcp -c g3:1d g3.tif g3-1d.tif
tiffcp -c g3:2d g3.tif g3-2d.tif
convert "$clean" -colorspace Gray -depth 8 -compress none bilevel.pgm

img2pdf -o jpeg.pdf "$scan"
img2pdf -o png-gray.pdf gray.png
img2pdf -o png-rgb.pdf rgb.png
img2pdf -o png-palette.pdf palette.png
img2pdf -o png-bilevel.pdf "$clean"
img2pdf -o two-pages.pdf blank.png "$clean"
img2pdf -o other-second.pdf "$other" "$clean"
tiff2pdf -o g4.pdf g4.tif
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile=ghostscript.pdf jpeg.pdf
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile=ghostscript-bilevel.pdf png-bilevel.pdf
qpdf --object-streams=generate png-gray.pdf object-streams.pdf
qpdf --object-streams=generate --compress-streams=y g4.pdf object-streams-g4.pdf
qpdf --linearize two-pages.pdf linearized.pdf
qpdf --encrypt '' owner 256 -- jpeg.pdf encrypted.pdf
qpdf --allow-weak-crypto --encrypt '' owner 128 --use-aes=n -- png-gray.pdf encrypted-rc4.pdf

# The strips of the Group 3 files, as they are in the TIFF.
for tif in g3-1d g3-2d; do
  offset=$(tiffinfo -s "$tif.tif" | awk '/^ +0: \[/ { gsub(/[\[\],]/, " "); print $2; exit }')
  count=$(tiffinfo -s "$tif.tif" | awk '/^ +0: \[/ { gsub(/[\[\],]/, " "); print $3; exit }')
  dd if="$tif.tif" of="$tif.fax" bs=1 skip="$offset" count="$count" status=none
done

for pdf in *.pdf; do
  # page, object, width, height, encoding
  pdfimages -list "$pdf" 2>/dev/null | awk 'NR > 2 && $3 == "image" { print $1, $11, $4, $5, $9 }' >"$pdf.list" || true
done
rm -f ./*.tif
