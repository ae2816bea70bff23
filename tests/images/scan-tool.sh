#!/usr/bin/env bash
# VarnokScan.exe under Wine: a folder of images and PDF scans with a Polish name, read line for line as expected;
# the files behind the errors with their reasons; the exit codes.
# Usage: scan-tool.sh <VarnokScan.exe> <folder made by make-images.sh>
set -euo pipefail
exe=$1 images=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
scratch=$(mktemp -d /tmp/varnok-scan.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
win() { printf 'Z:%s' "${1//\//\\}"; }
scan() { "$here/scripts/wine-run.sh" "$exe" "$@" >"$scratch/out.txt" 2>/dev/null; }
failed=0
check() {  # check <what> <expected file>
  if diff -u "$2" "$scratch/out.txt"; then echo "ok: $1"; else echo "FAILED: $1"; failed=1; fi
}

folder="$scratch/skany ąę"
mkdir "$folder"
for expected in "$images"/*.txt; do
  image=${expected%.txt}
  cp "$image" "$folder/"
done
cp "$images/gray8.png" "$folder/zdjęcie ŻÓŁW.png"
: >"$scratch/expected.txt"
while IFS= read -r name; do
  source_name=$name; [ "$name" = "zdjęcie ŻÓŁW.png" ] && source_name=gray8.png
  printf '%s\t%s\n' "$(win "$folder/$name")" "$(cat "$images/$source_name.txt")" >>"$scratch/expected.txt"
done < <(ls "$folder" | LC_ALL=C sort)
status=0; scan "$(win "$folder")" || status=$?
check "a folder of readable images, exit code $status" "$scratch/expected.txt"
[ "$status" -eq 0 ] || { echo "FAILED: exit code $status for a folder read in full"; failed=1; }

status=0; scan "$(win "$images/no-symbol.png")" "$(win "$images/huge.png")" "$(win "$images/text.png")" \
               "$(win "$images/damaged.png")" "$(win "$images/nie ma.png")" "$(win "$images/encrypted.pdf")" \
               "$(win "$images/jbig2.pdf")" "$(win "$images/vector.pdf")" "$(win "$images/gray8.png")" || status=$?
{ printf '%s\t!\t%s\n' "$(win "$images/no-symbol.png")" "no Aztec symbol found" \
                       "$(win "$images/huge.png")" "image too large: 30000 x 30000" \
                       "$(win "$images/text.png")" "cannot read the image: unknown format or damaged file" \
                       "$(win "$images/damaged.png")" "Aztec symbol found but too damaged to correct" \
                       "$(win "$images/nie ma.png")" "no such file" \
                       "$(win "$images/encrypted.pdf")" "encrypted PDF" \
                       "$(win "$images/jbig2.pdf")" "PDF image in JBIG2Decode on page 1: scan in grayscale or to JPEG" \
                       "$(win "$images/vector.pdf")" \
                       "no image in the PDF (a symbol drawn as vector graphics?): print and scan it, or export it as an image"
  printf '%s\t%s\n' "$(win "$images/gray8.png")" "$(cat "$images/gray8.png.txt")"; } >"$scratch/expected.txt"
check "failures with their reasons" "$scratch/expected.txt"
[ "$status" -eq 1 ] || { echo "FAILED: exit code $status when some files were not read"; failed=1; }

status=0; scan || status=$?
[ "$status" -eq 2 ] && echo "ok: usage error" || { echo "FAILED: exit code $status without arguments"; failed=1; }
exit $failed
