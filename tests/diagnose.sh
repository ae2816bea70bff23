#!/usr/bin/env bash
# VarnokSrv.exe /Diagnose on a healthy registration and on broken ones: class unregistered, EXE moved, decoder
# library missing or without its export, a result folder that cannot be written; the COM security it would set.
# Works on a copy registered machine-wide, and registers the build's server again at the end.
# Usage: diagnose.sh <VarnokSrv.exe> <our decoder> <decoder without the export>
set -euo pipefail
server=$(realpath "$1") decoder=$(realpath "$2") no_export=$(realpath "$3")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
scratch=$(mktemp -d /tmp/varnok-diagnose.XXXXXX)
win() { printf 'Z:%s' "${1//\//\\}"; }
wine() { "$here/scripts/wine-run.sh" "$@"; }
finish() { wine "$server" /RegServer >/dev/null 2>&1 || true; rm -rf "$scratch"; }
trap finish EXIT
failed=0

mkdir "$scratch/a" "$scratch/b" "$scratch/wyniki ąę"
cp "$server" "$decoder" "$scratch/a/"
copy="$scratch/a/VarnokSrv.exe"
wine "$server" /UnregServer >/dev/null 2>&1
wine "$copy" /RegServer

# expect <what> <exit code> <line that must be there>... ; reads the report in report.txt
expect() {
  local what=$1 code=$2 status=0; shift 2
  wine "$exe" /Diagnose "${folder[@]}" >"$scratch/report.txt" 2>&1 || status=$?
  local ok=1
  [ "$status" -eq "$code" ] || { echo "exit code $status, expected $code"; ok=0; }
  for line in "$@"; do grep -qF -- "$line" "$scratch/report.txt" || { echo "missing: $line"; ok=0; }; done
  if [ "$ok" -eq 1 ]; then echo "ok: $what"; else echo "FAILED: $what"; cat "$scratch/report.txt"; failed=1; fi
}

exe=$copy folder=("$(win "$scratch/wyniki ąę")")
expect "healthy" 0 "[ OK ] VarnokSrv.FileReader (wszyscy użytkownicy, widok 32-bitowy): \"$(win "$copy")\" — plik istnieje (ten plik)" \
       "[ OK ] VarnokSrv.ImageReader (" "[ OK ] Biblioteka typów VarnokSrvImage: $(win "$copy")\\2 — wczytuje się" \
       "       _FileReader for 64-bit clients: registered" \
       "[ OK ] azteccodeQELM.dll: $(win "$scratch/a/azteccodeQELM.dll") — eksportuje AZTECDeCode" \
       "[ OK ] MSXML 3" "[ OK ] Środowisko Scripting" "[INFO] Strona kodowa ANSI 1250 / OEM 852" \
       "[INFO] Zabezpieczenia COM: wywołania tylko lokalne, od " "[ OK ] CoInitializeSecurity: przyjęte" \
       "       COM security: local calls only, from " ")(A;;CCDC;;;SY)" "D:(D;;CCDCLC;;;NU)(A;;CCDC;;;S-1-5-21-" \
       "[ OK ] Folder wyników $(win "$scratch/wyniki ąę"): zapis możliwy"
[ -z "$(ls -A "$scratch/wyniki ąę")" ] && echo "ok: nothing left in the result folder" || { echo "FAILED: probe left"; failed=1; }
[ "$(grep -c '^\[' "$scratch/report.txt")" -eq "$(grep -c '^\[ OK \]\|^\[INFO\]' "$scratch/report.txt")" ] ||
  { echo "FAILED: a healthy install reports a problem"; failed=1; }

folder=("$(win "$scratch/nie ma")")
expect "result folder missing" 1 "[BŁĄD] Folder wyników $(win "$scratch/nie ma"): ZAPIS NIEMOŻLIWY" \
       "       Result folder $(win "$scratch/nie ma"): NOT WRITABLE"
folder=()

rm "$scratch/a/azteccodeQELM.dll"
expect "decoder missing" 1 "[BŁĄD] azteccodeQELM.dll: nie znaleziono" "       azteccodeQELM.dll: not found"
cp "$no_export" "$scratch/a/azteccodeQELM.dll"
expect "decoder without its export" 1 "— BEZ AZTECDeCode" "— NO AZTECDeCode EXPORT"
cp "$decoder" "$scratch/a/"

mv "$copy" "$scratch/b/"; exe="$scratch/b/VarnokSrv.exe"
expect "EXE moved after registration" 1 \
       "[BŁĄD] VarnokSrv.FileReader (wszyscy użytkownicy, widok 32-bitowy): \"$(win "$copy")\" — PLIKU NIE MA" \
       "[BŁĄD] Biblioteka typów VarnokSrv: $(win "$copy") — NIE WCZYTUJE SIĘ"
wine "$exe" /UnregServer
expect "class unregistered" 1 "[BŁĄD] VarnokSrv.FileReader: klasa niezarejestrowana" \
       "       VarnokSrv.ImageReader: class not registered (run register.cmd or reinstall)" \
       "[BŁĄD] _FileReader dla klientów 32-bitowych: NIEZAREJESTROWANY"
exit $failed
