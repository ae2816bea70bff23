#!/usr/bin/env bash
# The main job: installs what is missing, builds VarnokSrv.exe and our decoder library, registers the server in
# the project's Wine prefix, generates the Aztec payload of a fictional certificate and prints its 31 fields,
# decoded and read through COM by a script client. Given an image, its Aztec code is read by
# VarnokSrv.ImageReader first. On a host that runs 32-bit code this is the 32-bit build; on one that runs 64-bit
# user code only (scripts/host.sh), the 64-bit build, with nothing emulated.
# Usage: run-sample.sh [file, Linux path: a data file *.xml, an image (png, jpg, jpeg, bmp, gif, tif, tiff), a PDF scan or a
#        payload; default a freshly generated payload]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$here/scripts/host.sh"
host_describe
"$here/scripts/install-deps.sh"
bits=$VARNOK_WIN_BITS
build=$(host_build_dir "$bits")
"$here/scripts/build.sh" --bits "$bits" VarnokSrv azteccodeQELM VarnokScan

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
cp "$build/decoder/azteccodeQELM.dll" "$build/azteccodeQELM.dll"

source "$here/scripts/wine-session.sh"
# An emulator entry made for a host that could run 32-bit code itself goes again at the end.
trap host_end_emulation EXIT
export WINEPREFIX
WINEPREFIX=$(host_prefix "$bits")
wine_prefix_ensure
win() { printf 'Z:%s' "${1//\//\\}"; }
status=0
"$here/scripts/wine-run.sh" "$build/VarnokSrv.exe" /RegServer || status=$?
if [ "$status" -ne 0 ]; then
  echo "VarnokSrv.exe /RegServer failed in $WINEPREFIX (exit code $status)." >&2
  exit 1
fi
client=read-certificate.js
shopt -s nocasematch
if [[ "$input" =~ \.(png|jpe?g|bmp|gif|tiff?|pdf)$ ]]; then
  client=read-image.js
  echo "Aztec code read from the image by VarnokSrv.ImageReader, then:"
fi
shopt -u nocasematch
echo "Fields read through VarnokSrv.FileReader (result files in $sample):"
# The script host of the server's word size; cscript writes to a pipe in the OEM code page (852 under Polish
# settings).
cscript='C:\windows\system32\cscript.exe'
[ "$bits" = 32 ] && cscript='C:\windows\syswow64\cscript.exe'
"$here/scripts/wine-run.sh" "$cscript" //nologo \
    "$(win "$here/examples/$client")" "$(win "$input")" "$(win "$sample")" | iconv -f cp852 -t utf-8
