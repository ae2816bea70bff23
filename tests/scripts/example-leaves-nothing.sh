#!/usr/bin/env bash
# The examples keep the server's saved copy (or error log), which holds the owner's personal data, only where the
# user says: given a folder, the copy is there; given none, nothing the run wrote is left in TEMP, after a
# successful load and after a failed one.
# Usage: example-leaves-nothing.sh <scan> <payload> <client>...
#   (clients: *.js and *.vbs run by the 32-bit cscript, *.exe as they are; read-image.* get the scan)
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$here/tests/scripts/cscript-common.sh"
scan=$(realpath "$1"); payload=$(realpath "$2"); shift 2
scratch=$(mktemp -d /tmp/varnok-leftovers.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
junk=$scratch/junk.txt
printf 'To nie jest kod dowodu' >"$junk"
wine() { "$here/scripts/wine-run.sh" "$@"; }
temp=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')")
[ -d "$temp" ] || { echo "no TEMP folder: $temp"; exit 1; }
failures=0 cases=0
# One server for the whole run: the clients follow one another more slowly than its idle grace on a loaded machine.
wine 'C:\windows\system32\cscript.exe' //nologo "$(win "$here/tests/scripts/hold-server.js")" "$(win "$scratch/stop")" \
    >"$scratch/holder.txt" 2>&1 </dev/null &
holder=$!
trap 'touch "$scratch/stop"; wait $holder; rm -rf "$scratch"' EXIT
for _ in $(seq 1 300); do grep -q holding "$scratch/holder.txt" 2>/dev/null && break; sleep 0.1; done
grep -q holding "$scratch/holder.txt" || { echo "the holding client did not start: $(cat "$scratch/holder.txt")"; exit 1; }

run() {  # run <client> <input> [folder]: the client's output, UTF-8 without CR; an activation Wine lost, once more
  local output
  output=$(run_once "$@")
  if grep -q "cannot be created" <<<"$output"; then
    echo "(the activation failed: $(head -n 1 <<<"$output"); once more)" >&2
    sleep 1
    output=$(run_once "$@")
  fi
  printf '%s\n' "$output"
}
run_once() {
  local client=$1; shift
  local arguments=()
  for argument in "$@"; do arguments+=("$(win "$argument")"); done
  case "$client" in
    *.exe) wine "$client" "${arguments[@]}" >"$scratch/raw.txt" 2>&1
           tr -d '\r' <"$scratch/raw.txt" ;;
    *) wine "$(cscript_host 32)" //nologo "$(win "$client")" "${arguments[@]}" >"$scratch/raw.txt" 2>&1
       iconv -f cp852 -t utf-8 <"$scratch/raw.txt" | tr -d '\r' ;;
  esac
}

check() {  # check <what> <client> <expected line start> <input> [folder]
  local what=$1 client=$2 expected=$3; shift 3
  cases=$((cases + 1))
  # What TEMP held before, by name: anything else afterwards, or anything written since, was left by the run.
  find "$temp" -mindepth 1 2>/dev/null | sort >"$scratch/before"
  local output left
  output=$(run "$client" "$@")
  left=$( { find "$temp" -mindepth 1 -newer "$scratch/before" 2>/dev/null
            find "$temp" -mindepth 1 2>/dev/null | sort | comm -13 "$scratch/before" -; } | sort -u)
  if ! grep -q "^$expected" <<<"$output"; then
    echo "FAIL $(basename "$client"): $what: no line \"$expected\""; echo "$output" | head -n 5
    failures=$((failures + 1))
  elif [ -n "$left" ]; then
    echo "FAIL $(basename "$client"): $what: left in TEMP:"; echo "$left"
    failures=$((failures + 1))
  else
    echo "ok   $(basename "$client"): $what"
  fi
}

for client in "$@"; do
  client=$(realpath "$client")
  case "$(basename "$client")" in
    read-image.*) input=$scan ;;
    *) input=$payload ;;
  esac
  check "read without a folder, nothing left" "$client" "NrRejestracyjny: " "$input"
  case "$(basename "$client")" in
    read-image.*) ;;
    *) check "failed decoding without a folder, no error log left" "$client" "Status: Błąd rozkodowania" "$junk" ;;
  esac
  # Given a folder, the saved copy is there: one file named after the registration number.
  rm -rf "$scratch/kept"; mkdir "$scratch/kept"
  check "read with a folder" "$client" "NrRejestracyjny: " "$input" "$scratch/kept"
  cases=$((cases + 1))
  kept=$(find "$scratch/kept" -type f -name '*.xml' | wc -l)
  if [ "$kept" -eq 1 ]; then echo "ok   $(basename "$client"): the saved copy is in the folder given"
  else echo "FAIL $(basename "$client"): $kept saved copies in the folder given"; failures=$((failures + 1)); fi
done
echo "RESULT cases=$cases failures=$failures"
[ "$cases" -gt 0 ] && [ "$failures" -eq 0 ]
