#!/usr/bin/env bash
# VarnokScan.exe as an office's nightly batch file runs it, one case per way a night can go wrong: the exit code a
# batch file branches on, our own Polish message and nothing else, refusals before anything is read, no row lost
# or interleaved, our own outputs never rows, names from a share never joined as paths. Runs through cmd, as a
# batch file redirects. The full-disk cases need a small file system of their own (mounted by full-disk.sh).
# Usage: office-table.sh <VarnokScan.exe> <our decoder> <OfficeHelper.exe> <folder made by make-certificates.sh>
#                        [full-disk folder]
set -uo pipefail
exe=$1 decoder=$2 helper=$3 certificates=$4 disk=${5:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
scratch=$(mktemp -d /tmp/varnok-office.XXXXXX)
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
win() { printf 'Z:%s' "${1//\//\\}"; }
q() { printf '"%s"' "$(win "$1")"; }
mkdir "$scratch/bin"
cp "$exe" "$(dirname "$exe")/VarnokImageWorker.exe" "$decoder" "$scratch/bin/"
tool=$(win "$scratch/bin/VarnokScan.exe")
failed=0 ran=0

# run <command line after the program>: a batch file's line (in the Polish console's code page), stderr to a file;
# sets $code.
run() {
  code=0
  printf '@echo off\r\n%s %s 2>%s\r\nexit /b %%errorlevel%%\r\n' "$tool" "$1" "$(q "$scratch/err.txt")" |
      iconv -f UTF-8 -t CP852 >"$scratch/krok.cmd"
  "$here/scripts/wine-run.sh" cmd /c "$(win "$scratch/krok.cmd")" >/dev/null 2>&1 </dev/null || code=$?
}
# expect <what> <exit code> <text stderr must hold, or ""> <text stderr must not hold, or "">
expect() {
  ran=$((ran + 1))
  local problems=""
  [ "$code" -eq "$2" ] || problems+=" exit code $code, not $2;"
  [ -z "$3" ] || grep -qF -- "$3" "$scratch/err.txt" || problems+=" stderr lacks \"$3\";"
  [ -z "$4" ] || ! grep -qF -- "$4" "$scratch/err.txt" || problems+=" stderr holds \"$4\";"
  ! grep -qF '[ERROR]' "$scratch/err.txt" || problems+=" the workbook library's own log line;"
  if [ -z "$problems" ]; then echo "ok: $1"; else echo "FAILED: $1:$problems"; cat "$scratch/err.txt"; failed=1; fi
}
check() {  # check <what> <condition result>
  ran=$((ran + 1))
  if [ "$2" -eq 0 ]; then echo "ok: $1"; else echo "FAILED: $1"; failed=1; fi
}

scans="$scratch/Skany"
mkdir -p "$scans/2026-12-08"
cp "$certificates/skany/car-current.png" "$certificates/skany/lorry-older.png" "$scans/2026-12-08/"
cp "$certificates/skany/car-older.png" "$scans/"
out=$(q "$scratch/out.csv")
summary_read='Pliki: 3 z 3 odczytano, 0 nie odczytano'

# | the guide's example with a folder that does not exist | exit 2, the folder named as such, nothing read |
run "/fields $(q "$scans/partia2") > $out"
expect "a missing folder: exit 2, named as a folder" 2 "Folder \"$(win "$scans/partia2")\" nie istnieje" "Pliki:"
check "a missing folder: no row written" "$([ ! -s "$scratch/out.csv" ]; echo $?)"
run "$(q "$scans/nie ma.png") $(q "$scans")"
expect "a missing image file is still its own row: exit 1" 1 "Pliki: 3 z 4 odczytano, 1 nie odczytano" ""

# | /xlsx into a workbook that cannot be replaced, or a folder that takes no file | exit 2 before reading |
book="$scratch/wyniki/zestawienie.xlsx"
mkdir "$scratch/wyniki"
run "/xlsx $(win "$book") $(win "$scans")"
expect "a first workbook: exit 0" 0 "$summary_read" ""
cp "$book" "$scratch/before.xlsx"
"$here/scripts/wine-run.sh" "$helper" hold "$(win "$book")" 8 >/dev/null 2>&1 </dev/null &
holder=$!
sleep 2
run "/xlsx $(q "$book") $(q "$scans")"
wait $holder
expect "a workbook open in a spreadsheet program: exit 2, our message, nothing read" 2 \
       "Nie można zapisać skoroszytu \"$(win "$book")\" (jest otwarty w innym programie" "Pliki:"
check "a workbook open elsewhere: left as it was" "$(cmp -s "$book" "$scratch/before.xlsx"; echo $?)"
if [ "$(id -u)" -ne 0 ]; then
  mkdir "$scratch/tylko-odczyt" && chmod 555 "$scratch/tylko-odczyt"
  run "/xlsx $(q "$scratch/tylko-odczyt/z.xlsx") $(q "$scans")"
  expect "a folder that takes no file: exit 2, nothing read" 2 "Nie można zapisać skoroszytu" "Pliki:"
else
  echo "not run: a read-only folder (root writes anywhere)"
fi
run "/xlsx $(q "$scratch/brak/z.xlsx") $(q "$scans")"
expect "a workbook's folder that does not exist: exit 2" 2 "nie istnieje" "Pliki:"

# | /xlsx z.csv | refused: exit 2, no file |
run "/xlsx $(q "$scratch/z.csv") $(q "$scans")"
expect "/xlsx with another extension: exit 2" 2 "rozszerzenie .xlsx" "Pliki:"
check "/xlsx with another extension: no file" "$([ ! -e "$scratch/z.csv" ]; echo $?)"

# | a night with no scans | exit 0, the summary says there was nothing to read, no row |
mkdir "$scratch/pusty"
run "/fields $(q "$scratch/pusty") > $out"
expect "an empty folder: exit 0, nothing to read" 0 "Pliki: nie było nic do odczytania (0 plików)" "To nie jest skan"
check "an empty folder: the header alone" "$([ "$(grep -c . "$scratch/out.csv")" -eq 1 ]; echo $?)"

# | CSV and workbook written into the scanned folder, and copies of them under other names | skipped, exit 0 |
run "/xlsx $(q "$scans/zestawienie.xlsx") $(q "$scans")"
expect "the workbook into the scanned folder: exit 0" 0 "$summary_read, 0 pominięto" ""
run "/fields $(q "$scans") > $(q "$scans/zestawienie.csv")"
expect "then the CSV into it: the workbook skipped" 0 "$summary_read, 2 pominięto" ""
cp "$scans/zestawienie.csv" "$scans/2026-12-08/kopia z wczoraj.txt"
cp "$scans/zestawienie.xlsx" "$scans/2026-12-08/stare.zip"
run "/fields /json $(q "$scans") > $(q "$scans/2026-12-08/wiersze.jsonl")"
expect "our outputs anywhere, by content: skipped" 0 "$summary_read, 5 pominięto" ""
run "/xlsx $(q "$scans/zestawienie.xlsx") $(q "$scans")"
expect "and the workbook again: every output skipped" 0 "$summary_read, 5 pominięto" ""
rm "$scans/zestawienie.csv" "$scans/zestawienie.xlsx" "$scans/2026-12-08/kopia z wczoraj.txt" \
   "$scans/2026-12-08/stare.zip" "$scans/2026-12-08/wiersze.jsonl"

# | two runs appending to one CSV at once (">>" as Windows' cmd opens it) | the second refused with exit 2 |
many="$scratch/Duzo"
mkdir "$many"
for i in $(seq 1 48); do cp "$certificates/skany/car-current.png" "$many/skan $i.png"; done
rm -f "$scratch/out.csv"
append() {  # append <stderr file> <arguments...>: the tool's output appended to out.csv
  local err=$1; shift
  "$here/scripts/wine-run.sh" "$helper" append "$(win "$scratch/out.csv")" "$(win "$scratch/bin/VarnokScan.exe")" "$@" \
      2>"$err" </dev/null
}
code_first=0
VARNOK_SCAN_THREADS=1 append "$scratch/err1.txt" /fields "$(win "$many")" &
first=$!
# The first run holds the file from its header on; a loaded machine may take long to start it.
for _ in $(seq 1 600); do [ -s "$scratch/out.csv" ] && break; sleep 0.1; done
code=0; append "$scratch/err.txt" /fields "$(win "$scans")" || code=$?
wait $first || code_first=$?
expect "a second run into the same CSV: exit 2" 2 "pisze już inne uruchomienie VarnokScan.exe" "Pliki:"
check "the first run: exit 0 and its 48 rows whole" \
      "$([ "$code_first" -eq 0 ] && [ "$(grep -c $';OK;\r$' "$scratch/out.csv")" -eq 48 ] &&
         [ "$(grep -c . "$scratch/out.csv")" -eq 49 ]; echo $?)"
# A second run into one workbook: tests/images/watch.sh, with a /watch holding the workbook.

# | a name in a share's listing that is not one name | its own row, never a path: the walk stays in the folder |
share="$scratch/Udział"
mkdir -p "$share/a\\..\\.." "$share/zwykły"
cp "$certificates/skany/car-current.png" "$share/a\\..\\../skan.png"
cp "$certificates/skany/car-current.png" "$share/zwykły/skan.png"
run "$(q "$share") > $out"
prefix="$(win "$share")\\" outside=0
while IFS= read -r line; do [[ "$line" == "$prefix"* ]] || outside=$((outside + 1)); done <"$scratch/out.csv"
check "names from a share: every row inside the folder, the odd name a row of its own, exit 1" \
      "$([ "$outside" -eq 0 ] && [ "$code" -eq 1 ] && [ "$(grep -c . "$scratch/out.csv")" -eq 2 ] &&
         grep -qF 'nie jest nazwą pliku ani folderu' "$scratch/out.csv" && grep -qF 'zwykły\skan.png' "$scratch/out.csv"
         echo $?)"

# | CSV, or the workbook, to a full disk | exit 2 and our message; the previous workbook kept whole |
if [ -n "$disk" ] && [ "$(stat -f -c %T "$disk")" = tmpfs ]; then
  run "/xlsx $(q "$disk/zestawienie.xlsx") $(q "$scans/2026-12-08")"
  expect "a workbook on the small disk" 0 "Pliki: 2 z 2 odczytano" ""
  cp "$disk/zestawienie.xlsx" "$scratch/before.xlsx"
  head -c 10M /dev/zero >"$disk/wypełniacz" 2>/dev/null
  run "/xlsx $(q "$disk/zestawienie.xlsx") $(q "$scans")"
  expect "the workbook to a full disk: exit 2" 2 "Nie można zapisać skoroszytu" "Pliki:"
  check "the previous workbook kept whole, no temporary file left" \
        "$(cmp -s "$disk/zestawienie.xlsx" "$scratch/before.xlsx" && [ "$(ls "$disk" | wc -l)" -eq 2 ]; echo $?)"
  rm "$disk/zestawienie.xlsx"
  rm "$disk/wypełniacz"
  head -c 4000 /dev/zero >"$disk/miejsce"  # room for the header and a row or two, not for 48
  head -c 10M /dev/zero >"$disk/wypełniacz" 2>/dev/null
  rm "$disk/miejsce"
  run "/fields $(q "$many") > $(q "$disk/zestawienie.csv")"
  expect "the CSV to a full disk: exit 2, never a short sheet and 0" 2 "Nie można zapisać wyników" "Pliki:"
else
  echo "not run: the full-disk cases (no small file system mounted)"
fi

echo "$ran cases"
[ "$ran" -ge 20 ] || { echo "FAILED: only $ran cases ran"; failed=1; }
exit $failed
