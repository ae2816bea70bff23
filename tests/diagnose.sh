#!/usr/bin/env bash
# VarnokSrv.exe /Diagnose on a healthy registration and in every broken state it must name: class unregistered,
# EXE moved, an interface without its type library, a per-user registration shadowing the machine's, a decoder
# library missing, without its export or not loadable (the other word size, a missing dependency, not a library), the image worker
# missing (beside the registered server, and beside this copy, where it is also started), a result
# folder that is relative or cannot be written; the COM security it would set. Works on a copy registered machine-wide, and registers the
# build's server again at the end.
# Usage: diagnose.sh <VarnokSrv.exe> <our decoder> <decoder without the export> <decoder of the other word size>
#                    <decoder with a missing dependency>
set -euo pipefail
server=$(realpath "$1") decoder=$(realpath "$2") no_export=$(realpath "$3") decoder_other=$(realpath "$4")
missing_dependency=$(realpath "$5")
worker="$(dirname "$server")/VarnokImageWorker.exe"
# The server registers into the registry view of its own word size, and the interfaces into the other one too.
bits=32; file -b "$server" | grep -q x86-64 && bits=64
other=$((96 - bits))
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
scratch=$(mktemp -d /tmp/varnok-diagnose.XXXXXX)
win() { printf 'Z:%s' "${1//\//\\}"; }
wine() { "$here/scripts/wine-run.sh" "$@"; }
finish() {
  wine "$scratch/c/VarnokSrv.exe" /UnregServerPerUser >/dev/null 2>&1 || true
  wine "$server" /RegServer >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap finish EXIT
failed=0

mkdir "$scratch/a" "$scratch/b" "$scratch/c" "$scratch/wyniki ąę"
cp "$server" "$decoder" "$worker" "$scratch/a/"
cp "$server" "$decoder" "$worker" "$scratch/c/"
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
expect "healthy" 0 "[ OK ] VarnokSrv.FileReader (wszyscy użytkownicy, widok $bits-bitowy): \"$(win "$copy")\" — plik istnieje (ten plik)" \
       "[ OK ] VarnokSrv.ImageReader (" "[ OK ] Biblioteka typów VarnokSrvImage: $(win "$copy")\\2 — wczytuje się" \
       "       _FileReader for 64-bit clients: registered" \
       "[INFO] VarnokSrv.FileReader: klient zwykły dostanie $(win "$copy") (rejestracja dla wszystkich użytkowników)" \
       "       VarnokSrv.FileReader: an elevated client gets $(win "$copy")" \
       "[ OK ] azteccodeQELM.dll: $(win "$scratch/a/azteccodeQELM.dll") — eksportuje AZTECDeCode" \
       "[ OK ] MSXML 3" "[ OK ] Środowisko Scripting" "[INFO] Strona kodowa ANSI 1250 / OEM 852" \
       "[INFO] Zabezpieczenia COM: wywołania tylko lokalne, od " "[ OK ] CoInitializeSecurity: przyjęte" \
       "       COM security: local calls only, from " ")(A;;CCDC;;;SY)" "D:(D;;CCDCLC;;;NU)(A;;CCDC;;;S-1-5-21-" \
       "[ OK ] Folder wyników $(win "$scratch/wyniki ąę"): zapis możliwy" \
       "[ OK ] VarnokImageWorker.exe: $(win "$scratch/a/VarnokImageWorker.exe") — jest" \
       "[ OK ] Proces odczytu obrazów: uruchamia się i odpowiada" "[ OK ] Procesor z SSE2 (wymagany): jest" \
       "[INFO] Ochrona procesu odczytu obrazów: ograniczony token niskiej integralności: " \
       "; limit czasu odczytu (15 s): tak" "       Image worker protections: restricted low-integrity token: "
[ -z "$(ls -A "$scratch/wyniki ąę")" ] && echo "ok: nothing left in the result folder" || { echo "FAILED: probe left"; failed=1; }
[ "$(grep -c '^\[' "$scratch/report.txt")" -eq "$(grep -c '^\[ OK \]\|^\[INFO\]' "$scratch/report.txt")" ] ||
  { echo "FAILED: a healthy install reports a problem"; failed=1; }

# Result folders: one that is not there, and a relative one (the server refuses those, even where the console's
# folder has one of that name).
mkdir "$scratch/wyniki"
: >"$scratch/plik.txt"
cd "$scratch"
for entry in "missing|$(win "$scratch/nie ma")|: FOLDER NIE ISTNIEJE (utwórz go albo podaj inny)|: DOES NOT EXIST (create it or name another)" \
             "under a missing one|$(win "$scratch/nie ma/wyniki")|: FOLDER NIE ISTNIEJE (utwórz go albo podaj inny)|: DOES NOT EXIST" \
             "a file|$(win "$scratch/plik.txt")|: ZAPIS NIEMOŻLIWY|: NOT WRITABLE" \
             "relative|wyniki|: ŚCIEŻKA WZGLĘDNA (serwer przyjmuje tylko pełną ścieżkę)|: RELATIVE PATH"; do
  IFS='|' read -r what path polish english <<<"$entry"
  folder=("$path")
  expect "result folder $what" 1 "[BŁĄD] Folder wyników $path$polish" "       Result folder $path$english"
done
folder=()
cd "$here"
# Into a pipe of a Polish console (a pseudo-terminal is Wine's console), as "| more" reads it: code page 852.
script -qec "'$here/scripts/wine-run.sh' '$copy' /Diagnose '$(win "$scratch/nie ma")' | cat >'$scratch/pipe.txt'" /dev/null \
    >/dev/null 2>&1 || true
if grep -aqF "$(printf '[B\x9d\xa4D] Folder wynik\xa2w %s: FOLDER NIE ISTNIEJE' "$(win "$scratch/nie ma")")" "$scratch/pipe.txt"; then
  echo "ok: a pipe under a console gets its code page"
else echo "FAILED: a pipe under a console"; od -c "$scratch/pipe.txt" | head; failed=1; fi

# The image worker beside the registered server, run from another copy that has one; then from the copy without it.
exe="$scratch/c/VarnokSrv.exe"
rm "$scratch/a/VarnokImageWorker.exe"
expect "worker missing beside the registered server" 1 \
       "[BŁĄD] VarnokImageWorker.exe: $(win "$scratch/a/VarnokImageWorker.exe") — BRAK (obrazy i PDF nie będą odczytywane)" \
       "[ OK ] Proces odczytu obrazów: uruchamia się i odpowiada"
exe=$copy
expect "worker missing beside this copy" 1 "[BŁĄD] Proces odczytu obrazów: NIE URUCHAMIA SIĘ ALBO NIE ODPOWIADA" \
       "       Image worker: DOES NOT START OR ANSWER"
cp "$worker" "$scratch/a/"

# The decoder library beside the registered server, run from another copy that has a good one beside it.
exe="$scratch/c/VarnokSrv.exe"
rm "$scratch/a/azteccodeQELM.dll"
expect "decoder missing beside the registered server" 1 \
       "[BŁĄD] azteccodeQELM.dll: nie znaleziono (szukana w folderze serwera $(win "$scratch/a"), potem w System32)" \
       "       azteccodeQELM.dll: not found (looked for in the server's folder $(win "$scratch/a"), then System32)"
printf 'To nie jest biblioteka.\r\n' >"$scratch/not-a-library.dll"
beside="[BŁĄD] azteccodeQELM.dll: $(win "$scratch/a/azteccodeQELM.dll")"
for entry in "without its export|$no_export|$beside — BEZ AZTECDeCode|— NO AZTECDeCode EXPORT" \
             "of the other word size|$decoder_other|$beside — NIE WCZYTUJE SIĘ: błąd systemu 193, |— DOES NOT LOAD: system error 193, " \
             "with a missing dependency|$missing_dependency|$beside — NIE WCZYTUJE SIĘ: błąd systemu 126, |— DOES NOT LOAD: system error 126, " \
             "not a library|$scratch/not-a-library.dll|$beside — NIE WCZYTUJE SIĘ: błąd systemu 193, |— DOES NOT LOAD: system error 193, "; do
  IFS='|' read -r what library polish english <<<"$entry"
  rm -f "$scratch/a/azteccodeQELM.dll"
  cp "$library" "$scratch/a/azteccodeQELM.dll"
  expect "decoder $what" 1 "$polish" "$english"
done
rm "$scratch/a/azteccodeQELM.dll"
cp "$decoder" "$scratch/a/"

# Clients of the other word size marshal through the interface's type library in the other view.
wine reg delete 'HKLM\Software\Classes\Interface\{828403FC-4836-4F34-B09D-33ED4C913C0B}\TypeLib' /f /reg:$other >/dev/null
expect "interface without its type library" 1 \
       "[BŁĄD] _FileReader dla klientów $other-bitowych: BRAK BIBLIOTEKI TYPÓW {C730E276-A23A-432F-9F61-A844887D60BC}" \
       "       _FileReader for $other-bit clients: NO TYPE LIBRARY {C730E276-A23A-432F-9F61-A844887D60BC} (calls cannot be marshaled)"
wine "$copy" /RegServer

# A per-user registration of another copy hides the machine's from normal clients.
wine "$scratch/c/VarnokSrv.exe" /RegServerPerUser
wine "$copy" /RegServer
expect "per-user registration shadowing the machine's" 1 \
       "[INFO] VarnokSrv.FileReader: klient zwykły dostanie $(win "$scratch/c/VarnokSrv.exe") (rejestracja bieżącego użytkownika)" \
       "       VarnokSrv.FileReader: an elevated client gets $(win "$copy")" \
       "[BŁĄD] VarnokSrv.FileReader: rejestracja bieżącego użytkownika przesłania rejestrację dla wszystkich użytkowników i wskazuje inny plik: $(win "$scratch/c/VarnokSrv.exe") zamiast $(win "$copy")"
wine "$scratch/c/VarnokSrv.exe" /UnregServerPerUser
wine "$copy" /RegServer

mv "$copy" "$scratch/b/"; exe="$scratch/b/VarnokSrv.exe"
expect "EXE moved after registration" 1 \
       "[BŁĄD] VarnokSrv.FileReader (wszyscy użytkownicy, widok $bits-bitowy): \"$(win "$copy")\" — PLIKU NIE MA" \
       "[BŁĄD] Biblioteka typów VarnokSrv: $(win "$copy") — NIE WCZYTUJE SIĘ"
wine "$exe" /UnregServer
expect "class unregistered" 1 "[BŁĄD] VarnokSrv.FileReader: klasa niezarejestrowana" \
       "       VarnokSrv.ImageReader: class not registered (run register.cmd or reinstall)" \
       "[BŁĄD] _FileReader dla klientów 32-bitowych: NIEZAREJESTROWANY"
exit $failed
