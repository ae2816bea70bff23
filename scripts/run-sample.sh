#!/usr/bin/env bash
# The main job: installs what is missing, builds VarnokSrv.exe and our decoder library, registers the server in
# the project's Wine prefix, generates the Aztec payload of a fictional certificate and prints its 31 fields,
# decoded and read through COM by a script client.
# Usage: run-sample.sh [file, Linux path: a data file *.xml or a payload; default a freshly generated payload]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh" VarnokSrv azteccodeQELM

sample="$here/build/sample"
mkdir -p "$sample"
if [ $# -gt 0 ]; then
  input=$(realpath "$1")
else
  cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  ninja -C "$here/build/release" generate-payload >/dev/null
  input="$sample/certificate-payload.txt"
  "$here/build/release/tests/generator/generate-payload" car current >"$input"
  echo "Payload of a fictional certificate ($input):"
  cat "$input"
fi

# Our decoder beside the server, where the system's library search looks first.
cp "$here/build/win32/decoder/azteccodeQELM.dll" "$here/build/win32/azteccodeQELM.dll"

source "$here/scripts/wine-session.sh"
wine_prefix_ensure
win() { printf 'Z:%s' "${1//\//\\}"; }
"$here/scripts/wine-run.sh" "$here/build/win32/VarnokSrv.exe" /RegServer
echo "Fields read through VarnokSrv.FileReader (result files in $sample):"
# cscript writes to a pipe in the OEM code page (852 under Polish settings).
"$here/scripts/wine-run.sh" 'C:\windows\syswow64\cscript.exe' //nologo \
    "$(win "$here/examples/read-certificate.js")" "$(win "$input")" "$(win "$sample")" | iconv -f cp852 -t utf-8
