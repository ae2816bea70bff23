#!/usr/bin/env bash
# VarnokScan.exe /watch as an office's "scan to folder" feeds it: three scans dropped one by one (one written slowly
# in two halves, as a scanner on a network share writes), each row within 10 s and the same row a batch run gives;
# Ctrl+C (SIGINT, which Wine turns into the console's Ctrl+C event) ends it cleanly; after a restart nothing is read
# again. The same into a workbook, which a batch run meanwhile may not write; its journal mended after a cut line;
# the end of the session (logoff, shutdown) ends it as cleanly as Ctrl+C.
# Usage: watch.sh <VarnokScan.exe> <our decoder> <OfficeHelper.exe> <folder made by make-certificates.sh>
set -uo pipefail
exe=$1 decoder=$2 helper=$3 certificates=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
scratch=$(mktemp -d /tmp/varnok-watch.XXXXXX)
watcher=""
trap '[ -z "$watcher" ] || kill "$watcher" 2>/dev/null; rm -rf "$scratch"' EXIT
win() { printf 'Z:%s' "${1//\//\\}"; }
q() { printf '"%s"' "$(win "$1")"; }
mkdir "$scratch/bin" "$scratch/Skaner" "$scratch/wzór"
cp "$exe" "$(dirname "$exe")/VarnokImageWorker.exe" "$decoder" "$scratch/bin/"
tool=$(win "$scratch/bin/VarnokScan.exe")
failed=0 ran=0
check() {  # check <what> <condition result>
  ran=$((ran + 1))
  if [ "$2" -eq 0 ]; then echo "ok: $1"; else echo "FAILED: $1"; failed=1; tail -n 8 "$scratch/err.txt" | sed 's/^/  it printed: /'; fi
}
batch() {  # batch <file> <line>: a batch file in the Polish console's code page
  printf '@echo off\r\n%s\r\nexit /b %%errorlevel%%\r\n' "$2" | iconv -f UTF-8 -t CP852 >"$1"
}
# start_watch <arguments after /watch> <redirections>: in the background, $watcher its cmd
start_watch() {
  batch "$scratch/watch.cmd" "$tool /watch $1 $2 2>>$(q "$scratch/err.txt")"
  "$here/scripts/wine-run.sh" cmd /c "$(win "$scratch/watch.cmd")" >/dev/null 2>&1 </dev/null &
  watcher=$!
  # Under load Wine takes seconds to start it: the cases time its rows, not its start.
  local waited=0
  while [ -z "$(tool_pid)" ] && [ "$waited" -lt 300 ]; do sleep 0.1; waited=$((waited + 1)); done
}
# The Windows process of this run's VarnokScan.exe (its command line holds our scratch folder).
# Only the few processes named VarnokScan.exe are looked into: it is asked often, while Wine starts it.
tool_pid() {
  local pid cmd
  for pid in $(pgrep -f 'VarnokScan\.exe'); do
    cmd=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) || continue
    [[ $cmd == *"$scratch/bin/VarnokScan.exe"* || $cmd == *"$tool"* ]] || continue
    [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" = Z ] || { echo "$pid"; return; }
  done
}
stop_watch() {  # Ctrl+C; sets $code to the exit code
  local pid
  pid=$(tool_pid)
  [ -n "$pid" ] && kill -INT "$pid"
  code=0
  timeout 20 tail --pid="$watcher" -f /dev/null || { echo "FAILED: /watch did not end on Ctrl+C"; failed=1; kill "$watcher"; }
  wait "$watcher" || code=$?
  watcher=""
}
rows_of() { local n; n=$(grep -c $'\r$' "$1" 2>/dev/null) || true; echo "${n:-0}"; }
# wait_row <file> <text>: seconds until a line of the file holds the text (at most 20)
wait_row() {
  local start=$SECONDS
  while [ $((SECONDS - start)) -lt 20 ]; do
    grep -qF -- "$2" "$1" 2>/dev/null && { echo $((SECONDS - start)); return; }
    sleep 0.2
  done
  echo 99
}

scans=(car-current.png lorry-current.png car-older.png lorry-older.png)
for name in "${scans[@]}"; do cp "$certificates/skany/$name" "$scratch/wzór/"; done
batch "$scratch/wzor.cmd" "$tool /fields $(q "$scratch/wzór") > $(q "$scratch/wzór.csv") 2>NUL"
"$here/scripts/wine-run.sh" cmd /c "$(win "$scratch/wzor.cmd")" >/dev/null 2>&1 </dev/null
expected_row() { grep -F ";$1;" "$scratch/wzór.csv"; }

csv="$scratch/wyniki.csv"
start_watch "/fields $(q "$scratch/Skaner")" "> $(q "$csv")"
sleep 3
cp "$scratch/wzór/car-current.png" "$scratch/Skaner/"
took=$(wait_row "$csv" ";car-current.png;")
check "the first scan's row within 10 s (${took} s), as a batch run gives it" \
      "$([ "$took" -le 10 ] && grep -qxF -- "$(expected_row car-current.png)" "$csv"; echo $?)"
size=$(stat -c %s "$scratch/wzór/lorry-current.png")
head -c $((size / 2)) "$scratch/wzór/lorry-current.png" >"$scratch/Skaner/lorry-current.png"
sleep 4
tail -c +$((size / 2 + 1)) "$scratch/wzór/lorry-current.png" >>"$scratch/Skaner/lorry-current.png"
took=$(wait_row "$csv" ";lorry-current.png;")
check "a scan written in two halves 4 s apart: waited for, its row within 10 s (${took} s), not damaged" \
      "$([ "$took" -le 10 ] && grep -qxF -- "$(expected_row lorry-current.png)" "$csv" &&
         [ "$(grep -cF ';lorry-current.png;' "$csv")" -eq 1 ]; echo $?)"
cp "$scratch/wzór/car-older.png" "$scratch/Skaner/"
took=$(wait_row "$csv" ";car-older.png;")
check "the third scan's row within 10 s (${took} s)" \
      "$([ "$took" -le 10 ] && grep -qxF -- "$(expected_row car-older.png)" "$csv"; echo $?)"
stop_watch
check "Ctrl+C ends it: exit 0, the summary, three rows under one header" \
      "$([ "$code" -eq 0 ] && grep -qF 'Pliki: 3 z 3 odczytano, 0 nie odczytano' "$scratch/err.txt" &&
         [ "$(rows_of "$csv")" -eq 4 ]; echo $?)"

start_watch "/fields $(q "$scratch/Skaner")" ">> $(q "$csv")"
sleep 6
check "after a restart, no file read again" "$([ "$(rows_of "$csv")" -eq 4 ]; echo $?)"
cp "$scratch/wzór/lorry-older.png" "$scratch/Skaner/"
took=$(wait_row "$csv" ";lorry-older.png;")
stop_watch
check "a new scan after the restart: its row alone (${took} s), no second header" \
      "$([ "$took" -le 10 ] && [ "$(rows_of "$csv")" -eq 5 ] && [ "$(grep -c '^NumerDR' "$csv")" -eq 0 ] &&
         [ "$(grep -c 'NumerDR;' "$csv")" -eq 1 ]; echo $?)"

# Into a workbook: rewritten whole for each row, rebuilt after a restart; a batch run into it meanwhile refused.
book="$scratch/zestawienie.xlsx"
rm "$scratch/Skaner/"*
: >"$scratch/err.txt"
start_watch "/xlsx $(q "$book") $(q "$scratch/Skaner")" ""
sleep 3
cp "$scratch/wzór/car-current.png" "$scratch/Skaner/"
took=$(wait_row "$scratch/err.txt" "car-current.png: OK")
batch "$scratch/drugi.cmd" "$tool /xlsx $(q "$book") $(q "$scratch/wzór") 2>$(q "$scratch/drugi.txt")"
second=0; "$here/scripts/wine-run.sh" cmd /c "$(win "$scratch/drugi.cmd")" >/dev/null 2>&1 </dev/null || second=$?
check "a batch run into the watched workbook: refused with exit 2" \
      "$([ "$second" -eq 2 ] && grep -qF 'zapisuje już inne uruchomienie VarnokScan.exe' "$scratch/drugi.txt"; echo $?)"
stop_watch
: >"$scratch/err.txt"
start_watch "/xlsx $(q "$book") $(q "$scratch/Skaner")" ""
sleep 3
cp "$scratch/wzór/car-older.png" "$scratch/Skaner/"
took2=$(wait_row "$scratch/err.txt" "car-older.png: OK")
# A clerk has the workbook open in a spreadsheet program when the next scan arrives: the row waits, the watch goes on.
"$here/scripts/wine-run.sh" "$helper" hold "$(win "$book")" 6 >/dev/null 2>&1 </dev/null &
holder=$!
sleep 1.5
cp "$scratch/wzór/lorry-current.png" "$scratch/Skaner/"
took3=$(wait_row "$scratch/err.txt" "lorry-current.png: OK")
wait $holder
sleep 12
check "a workbook open elsewhere: the row shown (${took3} s), the watch still running, the workbook written later" \
      "$([ "$took3" -le 10 ] && grep -qF 'zapiszę go ponownie' "$scratch/err.txt" && [ -n "$(tool_pid)" ]; echo $?)"
stop_watch
/usr/bin/python3 - "$book" <<'PYTHON'
import sys, openpyxl
rows = [[c.value for c in row] for row in openpyxl.load_workbook(sys.argv[1]).active.iter_rows(min_row=2)]
files = [row[0] for row in rows]
sys.exit(0 if files == ["car-current.png", "car-older.png", "lorry-current.png"] and all(row[1] == "OK" for row in rows)
         else 1)
PYTHON
book_ok=$?
check "the workbook: each row within 10 s (${took} s, ${took2} s), every row after a restart and a refused write, exit 0" \
      "$([ "$book_ok" -eq 0 ] && [ "$took" -le 10 ] && [ "$took2" -le 10 ] && [ "$code" -eq 0 ]; echo $?)"

# Its journal's last line cut in half, as a forced end leaves it: the cut row is dropped, the next row starts a line
# of its own, and every whole row is in the journal for the next start.
journal="$book.wiersze"
head -n 1 "$journal" | head -c 60 | tr -d '\n' >>"$journal"
: >"$scratch/err.txt"
start_watch "/xlsx $(q "$book") $(q "$scratch/Skaner")" ""
sleep 3
cp "$scratch/wzór/lorry-older.png" "$scratch/Skaner/"
took4=$(wait_row "$scratch/err.txt" "lorry-older.png: OK")
stop_watch
/usr/bin/python3 - "$journal" <<'PYTHON'
import json, sys
lines = open(sys.argv[1], encoding="utf-8", errors="replace").read().split("\n")
rows, cut = [], 0
for line in lines[:-1]:
    try:
        rows.append(json.loads(line)["Plik"].split("\\")[-1])
    except ValueError:
        cut += 1
sys.exit(0 if lines[-1] == "" and cut == 1 and
         rows == ["car-current.png", "car-older.png", "lorry-current.png", "lorry-older.png"] else 1)
PYTHON
journal_ok=$?
check "a journal cut mid-line: the next row (${took4} s) on a line of its own, every whole row kept" \
      "$([ "$journal_ok" -eq 0 ] && [ "$took4" -le 10 ] && [ "$code" -eq 0 ]; echo $?)"

# The user logs off while scans are being read: Windows sends the end of the session to the program's windows and
# ends it once they have answered. The row under way is finished, every row written is whole, the summary printed.
csv2="$scratch/wylogowanie.csv"
: >"$scratch/err.txt"
start_watch "/fields $(q "$scratch/Skaner")" "> $(q "$csv2")"
took5=$(wait_row "$csv2" ".png;")
ended=0; "$here/scripts/wine-run.sh" "$helper" endsession VarnokScan.exe >/dev/null 2>&1 </dev/null || ended=$?
timeout 20 tail --pid="$watcher" -f /dev/null || { echo "FAILED: /watch still runs after the end of the session"; kill "$watcher"; }
wait "$watcher" 2>/dev/null; watcher=""
rows=$(($(rows_of "$csv2") - 1))
whole=0
while IFS= read -r line; do
  name=$(printf '%s' "$line" | grep -oE ';[a-z-]+\.png;' | tr -d ';')
  [ "$line" = "$(expected_row "$name" | tr -d '\r')" ] || whole=1
done < <(tail -n +2 "$csv2" | tr -d '\r')
check "the session ended while reading (first row ${took5} s): ${rows} whole rows of 4, the summary for them" \
      "$([ "$ended" -eq 0 ] && [ "$rows" -ge 1 ] && [ "$whole" -eq 0 ] && [ "$(tail -c 1 "$csv2" | od -An -c | tr -d ' ')" = '\n' ] &&
         grep -qF "Pliki: $rows z $rows odczytano, 0 nie odczytano" "$scratch/err.txt"; echo $?)"

echo "$ran cases"
[ "$ran" -eq 11 ] || { echo "FAILED: $ran cases ran, not 11"; failed=1; }
exit $failed
