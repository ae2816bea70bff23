#!/usr/bin/env bash
# VarnokScan.exe /xlsx over the office's folder of scans, opened by a real spreadsheet program: openpyxl checks the
# workbook's structure (typed cells, never a formula, the header frozen and filtered, widths, wrapped lines), then
# LibreOffice Calc exports it with every text cell quoted and FieldsToolTest compares each cell, and its type, with
# what the properties give through COM.
# Usage: workbook.sh <VarnokScan.exe> <FieldsToolTest.exe> <folder made by make-certificates.sh>
set -euo pipefail
exe=$1 test_exe=$2 certificates=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
scratch=$(mktemp -d /tmp/varnok-workbook.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
win() { printf 'Z:%s' "${1//\//\\}"; }
failed=0

book="$scratch/zestawienie ąę.xlsx"
status=0
"$here/scripts/wine-run.sh" "$exe" /xlsx "$(win "$book")" "$(win "$certificates/skany")" >"$scratch/out.txt" \
    2>"$scratch/err.txt" || status=$?
if [ "$status" -eq 1 ] && [ ! -s "$scratch/out.txt" ] &&
   grep -qx $'Pliki: 5 z 9 odczytano, 4 nie odczytano, 0 pominięto (ukryte, systemowe i sam plik wyników)\r' "$scratch/err.txt"
then echo "ok: /xlsx writes the workbook alone, the summary on stderr"
else echo "FAILED: /xlsx gave exit code $status"; cat "$scratch/out.txt" "$scratch/err.txt"; failed=1; fi

# Debian's own interpreter: its python3-openpyxl is not seen by another python3 first on PATH.
/usr/bin/python3 - "$book" <<'PYTHON' || failed=1
import datetime, sys
import openpyxl
sheet = openpyxl.load_workbook(sys.argv[1]).active
problems = []
def check(ok, what):
    print(("ok: " if ok else "FAILED: ") + what)
    problems.append(not ok)
header = [c.value for c in sheet[1]]
check(header[:7] == ["Plik", "Status", "Wskazówka", "Nr rejestracyjny", "Marka", "VIN", "Właściciel (C.2.1)"] and
      len(header) == 34, "file, status, advice, registration number, make, VIN and owner first: " + str(header[:7]))
check(not any(h and h[0].isupper() and any(ch.isupper() for ch in h[1:]) and " " not in h and h != "VIN" for h in header),
      "headings are words, not property names")
statuses = [row[1].value for row in sheet.iter_rows(min_row=2)]
check(all("\\" not in s and "Z:" not in s for s in statuses), "Status without the folder: " + str(statuses[:3]))
check(sheet.freeze_panes == "A2", "the header row is frozen")
check(sheet.auto_filter.ref == "A1:AH%d" % sheet.max_row, "the header row is filtered: " + str(sheet.auto_filter.ref))
cells = [c for row in sheet.iter_rows(min_row=2) for c in row if c.value is not None]
check(all(c.data_type != "f" for c in cells), "no cell is a formula")
kinds = {}
for c in cells:
    kinds.setdefault(header[c.column - 1], set()).add(type(c.value).__name__)
numeric = ("Masa własna (G)", "Pojemność silnika (P.1)", "Rok produkcji")
check(all(kinds.get(k) == {"int"} for k in numeric), "numbers are numbers: " + str({k: kinds.get(k) for k in numeric}))
check(kinds.get("Data pierwszej rejestracji (B)") == {"datetime"} and kinds.get("Data wydania dowodu (I)") == {"datetime"},
      "dates are dates")
check(kinds.get("VIN") == {"str"} and kinds.get("Nr rejestracyjny") == {"str"} and kinds.get("Plik") == {"str"},
      "texts are texts")
with open(sys.argv[1], "rb") as f:
    check(f.read().endswith("VarnokScan: zestawienie dowodów rejestracyjnych".encode()), "marked as ours in its zip comment")
wrapped = [c for c in cells if isinstance(c.value, str) and "\n" in c.value]
check(wrapped and all(c.alignment.wrap_text for c in wrapped), "multi-line cells wrap (%d)" % len(wrapped))
widths = [sheet.column_dimensions[openpyxl.utils.get_column_letter(i)].width for i in range(1, 35)]
check(all(6 <= w <= 61 for w in widths) and widths[0] > 12, "column widths between 6 and 60: " + str(widths[:4]))
sys.exit(1 if any(problems) else 0)
PYTHON

# Written under a temporary name and put in place: nothing else is left beside it.
if [ "$(ls -A "$scratch" | grep -vxF -e "$(basename "$book")" -e err.txt -e out.txt | wc -l)" -eq 0 ]; then
  echo "ok: no temporary file left"
else echo "FAILED: files beside the workbook: $(ls -A "$scratch")"; failed=1; fi

# Calc, with a profile of its own so that runs never collide: ";" between cells, UTF-8, text cells quoted,
# the others as shown.
mkdir "$scratch/calc"
if ! timeout 180 soffice "-env:UserInstallation=file://$scratch/profile" --headless --convert-to \
      'csv:Text - txt - csv (StarCalc):59,34,76,1,,0,true,false,true,false,false' --outdir "$scratch/calc" "$book" \
      >"$scratch/soffice.txt" 2>&1 || [ ! -s "$scratch/calc/zestawienie ąę.csv" ]; then
  echo "FAILED: LibreOffice did not open the workbook"; cat "$scratch/soffice.txt"; exit 1
fi
echo "ok: LibreOffice Calc opened the workbook"
GTEST_FILTER='FieldsWorkbook.*' VARNOK_WORKBOOK_CSV="$(win "$scratch/calc/zestawienie ąę.csv")" \
    "$here/scripts/wine-run.sh" "$test_exe" >"$scratch/compare.txt" 2>&1 || true
if grep -q '^\[  PASSED  \] 1 test\.' "$scratch/compare.txt"; then echo "ok: every cell as Calc reads it is the property"
else echo "FAILED: the cells as Calc reads them"; cat "$scratch/compare.txt"; failed=1; fi
exit $failed
