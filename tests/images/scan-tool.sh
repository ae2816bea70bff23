#!/usr/bin/env bash
# VarnokScan.exe under Wine: a folder of images and PDF scans with a Polish name, read line for line as expected;
# the files behind the errors and a file of a format it does not read, each with its reason in Polish; a
# structured-append part with its note; progress on a console; help; the exit codes. A folder as an office keeps
# it (per-day subfolders, hidden and system files, the sheet written into it by a batch file, twice, then appended
# to): one row per scan, the summary, no cell a spreadsheet would evaluate; a folder past MAX_PATH; what goes into a
# pipe under a Polish console; a worker missing, and one that Windows ends for its processor time.
# Usage: scan-tool.sh <VarnokScan.exe> <folder made by make-images.sh> <our decoder> <folder made by make-certificates.sh>
#                    <stand-in worker that leaves as its job's time limit ends it>
set -euo pipefail
exe=$1 images=$2 decoder=$3 certificates=$4 quota_worker=$5
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
    "Nie można odczytać obrazu $(q "$scratch/inne/zdjęcie.webp"): system nie ma dekodera formatu WebP (zapisz obraz jako PNG albo JPEG)"
} >"$scratch/expected.txt"
check "failures with their reasons" "$scratch/expected.txt"
[ "$status" -eq 1 ] || { echo "FAILED: exit code $status when some files were not read"; failed=1; }

# A part of a structured-append message: its own text, and where it stands on stderr.
"$here/scripts/wine-run.sh" "$exe" "$(win "$images/part-2-of-3.png")" >"$scratch/out.txt" 2>"$scratch/note.txt" || true
printf '%s\t%s\n' "$(win "$images/part-2-of-3.png")" "$(head -c 40 "$images/gray8.png.txt")" >"$scratch/expected.txt"
check "a structured-append part" "$scratch/expected.txt"
printf '%s: uwaga: kod jest częścią 2 z 3 kodu dzielonego (structured append), identyfikator "VRN7"; tekst obejmuje tylko tę część\r\n' \
    "$(win "$images/part-2-of-3.png")" >"$scratch/expected.txt"
printf 'Pliki: 1 z 1 odczytano, 0 nie odczytano, 0 pominięto (ukryte, systemowe i sam plik wyników)\r\n' >>"$scratch/expected.txt"
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
# The office: scans filed per day, Windows' own hidden files, and the clerk's batch file writing the sheet into the
# folder it reads. The tool, its image worker and its decoder as the MSI puts them, side by side.
mkdir "$scratch/bin"
cp "$exe" "$(dirname "$exe")/VarnokImageWorker.exe" "$decoder" "$scratch/bin/"
office="$scratch/Skany biura"
mkdir -p "$office/2026-12-07" "$office/2026-12-08/popołudnie" "$office/.ukryty"
cp "$certificates/skany/car-current.png" "$office/2026-12-07/12 skan.png"
cp "$certificates/skany/car-older.png" "$office/2026-12-08/skan 1.png"
cp "$certificates/skany/lorry-current.png" "$office/2026-12-08/popołudnie/skan.png"
cp "$certificates/skany/lorry-older.png" "$office/=HYPERLINK(x).png"
cp "$certificates/skany/car-older.png" "$office/.ukryty/kopia.png"
printf '[.ShellClassInfo]\r\n' >"$office/desktop.ini"
printf 'x' >"$office/2026-12-08/Thumbs.db"
for hidden in "$office/desktop.ini" "$office/2026-12-08/Thumbs.db" "$office/.ukryty"; do
  "$here/scripts/wine-run.sh" attrib +h +s "$(win "$hidden")" >/dev/null 2>&1
done
batch() {  # batch <redirection>: as a clerk's batch file runs the tool, stderr to err.txt
  local status=0
  "$here/scripts/wine-run.sh" cmd /c "cd /d $(win "$office") && $(win "$scratch/bin/VarnokScan.exe") /fields . $1 zestawienie.csv 2>$(win "$scratch/err.txt")" \
      >/dev/null 2>&1 </dev/null || status=$?
  echo "$status"
}
summary=$'Pliki: 4 z 4 odczytano, 0 nie odczytano, 4 pominięto (ukryte, systemowe i sam plik wyników)\r'
for run in first second; do
  status=$(batch '>')
  if [ "$status" -eq 0 ] && [ "$(cat "$scratch/err.txt")" = "$summary" ]; then echo "ok: the office's folder, $run run: exit 0, the summary"
  else echo "FAILED: the office's folder, $run run: exit code $status"; cat "$scratch/err.txt"; failed=1; fi
done
status=$(batch '>>')
[ "$status" -eq 0 ] || { echo "FAILED: appending gave exit code $status"; failed=1; }
# Debian's own interpreter reads the CSV as a spreadsheet would split it.
if /usr/bin/python3 - "$office/zestawienie.csv" <<'PYTHON'; then echo "ok: one row per scan, relative names, no formula, one mark and header when appended"; else failed=1; fi
import csv, sys
data = open(sys.argv[1], "rb").read()
problems = []
if not data.startswith(b"\xef\xbb\xbf") or data.count(b"\xef\xbb\xbf") != 1:
    problems.append("byte-order marks: %d, at the start: %s" % (data.count(b"\xef\xbb\xbf"), data.startswith(b"\xef\xbb\xbf")))
rows = list(csv.reader(data.decode("utf-8-sig").splitlines(), delimiter=";"))
if sum(1 for row in rows if row[0] == "NumerDR") != 1:
    problems.append("the header more than once")
files = [row[31] for row in rows[1:]]
expected = ["2026-12-07\\12 skan.png", "2026-12-08\\popołudnie\\skan.png", "2026-12-08\\skan 1.png", "'=HYPERLINK(x).png"]
if files != expected * 2:
    problems.append("rows: %s" % files)
if any(row[32] != "OK" or row[33] != "" for row in rows[1:]):
    problems.append("a row not read")
evaluated = [cell for row in rows for cell in row if cell[:1] in ("=", "+", "@", "\t", "\r")]
if evaluated:
    problems.append("cells a spreadsheet evaluates: %s" % evaluated)
for problem in problems:
    print("FAILED: " + problem)
sys.exit(1 if problems else 0)
PYTHON

# The line mode walks the same folders; a path past MAX_PATH is read in its \\?\ form.
deep="$scratch/$(printf 'długi folder z numerem %03d/' $(seq 1 12))"
mkdir -p "$deep"
cp "$images/gray8.png" "$deep/skan w głębi.png"
rm "$office/zestawienie.csv"
status=0; scan "$(win "$office")" "$(win "$scratch/długi folder z numerem 001")" || status=$?
long_name="$(win "${deep%/}")\skan w głębi.png"
if [ "$status" -eq 0 ] && [ "$(wc -l <"$scratch/out.txt")" -eq 5 ] && [ ${#long_name} -gt 300 ] &&
   grep -qxF "$(printf '%s\t%s' "$long_name" "$(cat "$images/gray8.png.txt")")" "$scratch/out.txt" &&
   grep -qF "$(win "$office/2026-12-08/popołudnie/skan.png")"$'\t' "$scratch/out.txt"
then echo "ok: subfolders and a file ${#long_name} characters deep in the line mode"
else echo "FAILED: the line mode over subfolders and a long path (exit code $status)"; cat "$scratch/out.txt"; failed=1; fi

# A workbook into a folder that is not there: said before anything is read.
status=0
"$here/scripts/wine-run.sh" "$exe" /xlsx "$(win "$scratch/nie ma/x.xlsx")" "$(win "$office")" >/dev/null 2>"$scratch/err.txt" ||
    status=$?
if [ "$status" -eq 2 ] && [ "$(cat "$scratch/err.txt")" = "$(printf 'Nie można zapisać skoroszytu "%s": folder "%s" nie istnieje\r' \
     "$(win "$scratch/nie ma/x.xlsx")" "$(win "$scratch/nie ma")")" ]; then echo "ok: /xlsx into a missing folder"
else echo "FAILED: /xlsx into a missing folder: exit code $status"; cat "$scratch/err.txt"; failed=1; fi

# Into a pipe of a Polish console (a pseudo-terminal is Wine's console): the console's code page, 852.
script -qec "'$here/scripts/wine-run.sh' '$exe' '$(win "$images/nie ma.png")' 'Z:\\nie ma ąę.png' 2>/dev/null | cat >'$scratch/pipe.txt'" \
    /dev/null >/dev/null 2>&1 || true
if grep -aq $'\tNie znaleziono pliku obrazu: "Z:\\\\nie ma \xa5\xa9.png"\r$' "$scratch/pipe.txt"; then
  echo "ok: a pipe under a console gets its code page"
else echo "FAILED: a pipe under a console"; od -c "$scratch/pipe.txt" | head; failed=1; fi
# Without its image worker beside it, every image says which program is missing.
mkdir "$scratch/alone"
cp "$exe" "$scratch/alone/"
"$here/scripts/wine-run.sh" "$scratch/alone/$(basename "$exe")" "$(win "$images/gray8.png")" >"$scratch/out.txt" 2>/dev/null || true
printf '%s\t!\t%s\n' "$(win "$images/gray8.png")" \
    "Nie można uruchomić programu VarnokImageWorker.exe (\"$(win "$scratch/alone/VarnokImageWorker.exe")\"), który odczytuje obrazy: zainstaluj program ponownie" \
    >"$scratch/expected.txt"
check "an image read without the worker names it" "$scratch/expected.txt"
# A worker that Windows ends for its job's processor time: the file took too long (1005), it is not damaged.
cp "$quota_worker" "$scratch/alone/VarnokImageWorker.exe"
"$here/scripts/wine-run.sh" "$scratch/alone/$(basename "$exe")" "$(win "$images/gray8.png")" >"$scratch/out.txt" 2>/dev/null || true
printf '%s\t!\t%s\n' "$(win "$images/gray8.png")" \
    "Odczyt pliku \"$(win "$images/gray8.png")\" przerwano po 15 s: plik jest zbyt złożony albo uszkodzony; zeskanuj ponownie tylko stronę z kodem" \
    >"$scratch/expected.txt"
check "a worker ended by its job's time limit is a read that timed out" "$scratch/expected.txt"
exit $failed
