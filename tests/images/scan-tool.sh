#!/usr/bin/env bash
# VarnokScan.exe under Wine: a folder of images and PDF scans with a Polish name, read line for line as expected;
# the files behind the errors and a file of a format it does not read, each with its reason in Polish; a
# structured-append part with its note; progress on a console; help; the exit codes.
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

mkdir "$scratch/inne"
printf 'RIFF\0\0\0\0WEBPVP8 ' >"$scratch/inne/zdjęcie.webp"
cp "$images/gray8.png" "$scratch/inne/skan.png"
status=0; scan "$(win "$images/no-symbol.png")" "$(win "$images/huge.png")" "$(win "$images/text.png")" \
               "$(win "$images/damaged.png")" "$(win "$images/nie ma.png")" "$(win "$images/encrypted.pdf")" \
               "$(win "$images/jbig2.pdf")" "$(win "$images/vector.pdf")" "$(win "$images/gray8.png")" \
               "$(win "$scratch/inne")" || status=$?
q() { printf '"%s"' "$(win "$1")"; }
{ printf '%s\t!\t%s\n' "$(win "$images/no-symbol.png")" "Na obrazie $(q "$images/no-symbol.png") nie znaleziono kodu Aztec" \
    "$(win "$images/huge.png")" "Obraz $(q "$images/huge.png") jest za duży: 30000 x 30000 pikseli (najwyżej 120 milionów pikseli)" \
    "$(win "$images/text.png")" "Nie można odczytać obrazu $(q "$images/text.png"): nieobsługiwany format albo uszkodzony plik" \
    "$(win "$images/damaged.png")" "Kod Aztec na obrazie $(q "$images/damaged.png") jest zbyt uszkodzony, by go odczytać" \
    "$(win "$images/nie ma.png")" "Nie znaleziono pliku obrazu: $(q "$images/nie ma.png")" \
    "$(win "$images/encrypted.pdf")" "Plik PDF $(q "$images/encrypted.pdf") jest zaszyfrowany: zapisz skan ponownie bez hasła i bez szyfrowania" \
    "$(win "$images/jbig2.pdf")" "Plik PDF $(q "$images/jbig2.pdf") zawiera obraz skompresowany w formacie JBIG2 (strona 1, obiekt 5), którego nie odczytujemy: skanuj w skali szarości lub do JPEG" \
    "$(win "$images/vector.pdf")" "Plik PDF $(q "$images/vector.pdf") nie zawiera żadnego obrazu (kod jest w nim zapewne narysowany jako grafika wektorowa): wydrukuj go i zeskanuj albo wyeksportuj stronę jako obraz"
  printf '%s\t%s\n' "$(win "$images/gray8.png")" "$(cat "$images/gray8.png.txt")" \
                    "$(win "$scratch/inne/skan.png")" "$(cat "$images/gray8.png.txt")"
  printf '%s\t!\t%s\n' "$(win "$scratch/inne/zdjęcie.webp")" \
    "Nie można odczytać pliku $(q "$scratch/inne/zdjęcie.webp"): nieobsługiwany format (odczytywane są pliki PNG, JPEG, BMP, GIF, TIFF i PDF)"
} >"$scratch/expected.txt"
check "failures with their reasons" "$scratch/expected.txt"
[ "$status" -eq 1 ] || { echo "FAILED: exit code $status when some files were not read"; failed=1; }

# A part of a structured-append message: its own text, and where it stands on stderr.
"$here/scripts/wine-run.sh" "$exe" "$(win "$images/part-2-of-3.png")" >"$scratch/out.txt" 2>"$scratch/note.txt" || true
printf '%s\t%s\n' "$(win "$images/part-2-of-3.png")" "$(head -c 40 "$images/gray8.png.txt")" >"$scratch/expected.txt"
check "a structured-append part" "$scratch/expected.txt"
printf '%s: uwaga: kod jest częścią 2 z 3 kodu dzielonego (structured append), identyfikator "VRN7"; tekst obejmuje tylko tę część\r\n' \
    "$(win "$images/part-2-of-3.png")" >"$scratch/expected.txt"
cp "$scratch/note.txt" "$scratch/out.txt"
check "its note on stderr" "$scratch/expected.txt"
# Progress on a console (a pseudo-terminal here, which Wine makes a console), the lines still to the file.
script -qec "'$here/scripts/wine-run.sh' '$exe' '$(win "$scratch/inne")' >'$scratch/out.txt'" "$scratch/console.txt" \
    >/dev/null 2>&1 || true
if grep -aq '1/2 skan.png' "$scratch/console.txt" && grep -aq '2/2 zdjęcie.webp' "$scratch/console.txt" &&
   [ "$(wc -l <"$scratch/out.txt")" -eq 2 ]; then echo "ok: progress on the console"
else echo "FAILED: progress on the console"; cat -A "$scratch/console.txt"; failed=1; fi

status=0; scan || status=$?
[ "$status" -eq 2 ] && echo "ok: usage error" || { echo "FAILED: exit code $status without arguments"; failed=1; }
for help in '/?' --help; do
  status=0; scan "$help" || status=$?
  if [ "$status" -eq 0 ] && grep -q '^Użycie: VarnokScan.exe' "$scratch/out.txt"; then echo "ok: $help"
  else echo "FAILED: $help gave exit code $status"; failed=1; fi
done
exit $failed
