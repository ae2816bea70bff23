#!/usr/bin/env bash
# The Delphi example as a user gets it: unpacked from the SDK zip, its imported units checked against a fresh
# import from the server, compiled for Windows with Free Pascal, then run against the registered server on the
# sample data file, payload, scan and a PDF of the scan. Its fields must be the JScript example's for the same
# file, and its number line the engine capacity read with '.' under Polish and English regional settings alike.
# A missing file must give the COM error with its number.
# An older-layout certificate lacks a field: through both bindings it must print the property's error.
# Usage: delphi-example.sh <SDK zip> <VarnokSrv.exe> <examples folder> <test images folder>
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
zip=$(realpath "$1") server=$(realpath "$2") examples=$(realpath "$3") images=$(realpath "$4")
source "$here/tests/scripts/cscript-common.sh"
scratch=$(mktemp -d /tmp/varnok-delphi.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

(cd "$scratch" && cmake -E tar xf "$zip")
sdk=$(echo "$scratch"/VarnokSrv-*/examples/delphi)
"$here/scripts/delphi-units.sh" "$server" "$scratch/fresh"
for unit in VarnokSrv_TLB VarnokSrvImage_TLB; do
  diff -u "$sdk/$unit.pas" "$scratch/fresh/$unit.pas" ||
    fail "the SDK's $unit.pas differs from one imported from VarnokSrv.exe now"
done

"$here/scripts/fpc-compile.sh" "$sdk/ReadCertificate.dpr" "$scratch/bin" || fail "the example does not compile"
example="$scratch/bin/ReadCertificate.exe"

source "$here/tests/scripts/processes.sh"
# What a program prints, through a file (a server it starts would hold a pipe open), without carriage returns;
# its exit code in $status. The previous run's server gone first: each run starts its own rather than meet one
# leaving (Wine fails an activation that meets a server revoking its classes, where Windows starts another).
run() {  # run <output file> <program> [arguments...]
  local out=$1; shift
  wait_for_no_process 'VarnokSrv\.exe -Embedding' 100 || true
  status=0
  "$here/scripts/wine-run.sh" "$@" >"$out.raw" 2>&1 </dev/null || status=$?
  tr -d '\r' <"$out.raw" >"$out"
}

img2pdf -o "$scratch/certificate-scan.pdf" "$examples/certificate-scan.jpg"
# The PDF under a name that says nothing: the example must go by its first bytes.
cp "$scratch/certificate-scan.pdf" "$scratch/skan-z-drukarki.dat"
mkdir -p "$scratch/results"
folder=$(win "$scratch/results")
checked=0
for input in "$examples/certificate.xml" "$examples/certificate-payload.txt" "$examples/certificate-scan.jpg" \
             "$scratch/skan-z-drukarki.dat"; do
  name=$(basename "$input")
  run "$scratch/$name.js" "$(cscript_host 32)" //nologo "$(win "$examples/read-certificate.js")" "$(win "$input")" "$folder"
  iconv -f cp852 -t utf-8 <"$scratch/$name.js" >"$scratch/$name.expected"
  fields=$(grep -cE '^[A-Za-z]+: .' "$scratch/$name.expected" || true)
  if [ "$fields" -ne 31 ]; then
    fail "$name: the JScript example printed $fields fields, not 31:"; cat "$scratch/$name.expected"; continue
  fi
  capacity=$(sed -n 's/^PojSilnika: //p' "$scratch/$name.expected")
  for lang in pl_PL.UTF-8 en_US.UTF-8; do
    VARNOK_LANG=$lang run "$scratch/$name.$lang" "$example" "$(win "$input")" "$folder"
    litres=$(LC_ALL=C awk -v cm3="$capacity" 'BEGIN { printf "%.3f", cm3 / 1000 }')
    { cat "$scratch/$name.expected"; echo "PojSilnika [dm3]: $litres"; } >"$scratch/$name.wanted"
    if diff -u "$scratch/$name.wanted" "$scratch/$name.$lang" && [ "$status" -eq 0 ]; then
      checked=$((checked + 1))
    else
      fail "$name ($lang): the Delphi example's output differs from the JScript example's, or it exited with $status"
    fi
  done
done
echo "the Delphi example printed the JScript example's 31 fields and the capacity for $checked of 8 runs"
# The test kit compares the example's output on the sample scan with a file of its own, which must agree too.
diff -u "$here/tests/scripts/expected/certificate-scan.txt" "$scratch/certificate-scan.jpg.wanted" ||
  fail "tests/scripts/expected/certificate-scan.txt is not what the JScript example prints for the sample scan"

# The older layout has no Podrodzaj: error 91 with its description by name. Through the vtable Wine brings the
# HRESULT alone (see above), as the C++ example shows it; on Windows the description comes as by name.
older=0
for pair in "$here/tests/payloads/lorry-older.txt:lorry-older.txt" "$images/photo.jpg:lorry-older-vtable.txt"; do
  input=${pair%%:*} expected=$here/tests/scripts/expected/${pair#*:}
  name=older-$(basename "$input")
  run "$scratch/$name" "$example" "$(win "$input")" "$folder"
  litres=$(LC_ALL=C awk -v cm3="$(sed -n 's/^PojSilnika: //p' "$expected")" 'BEGIN { printf "%.3f", cm3 / 1000 }')
  { cat "$expected"; echo "PojSilnika [dm3]: $litres"; } >"$scratch/$name.wanted"
  if diff -u "$scratch/$name.wanted" "$scratch/$name" && [ "$status" -eq 0 ]; then
    older=$((older + 1))
  else
    fail "$(basename "$input"): not the fields of $(basename "$expected"), or exit code $status"
  fi
done
echo "the older layout's missing field, by name and through the vtable: $older of 2 runs as expected"

# A file that is not there: the server's error 53, by number. (Wine does not carry a vtable call's error
# description across processes; on Windows the text after "Obraz: " is the server's Polish description.)
run "$scratch/missing.txt" "$example" "$(win "$scratch/brak-skanu.jpg")" "$folder"
if grep -qxE 'Obraz: (Nie znaleziono pliku obrazu.*|HRESULT 0x800A0035) \(Err\.Number = 53\)' "$scratch/missing.txt" &&
   [ "$status" -eq 1 ]; then
  echo "a missing file: $(cat "$scratch/missing.txt")"
else
  fail "a missing file did not give error 53 and exit code 1 (exit code $status):"; cat "$scratch/missing.txt"
fi
[ "$failures" -eq 0 ]
