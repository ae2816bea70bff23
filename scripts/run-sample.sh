#!/usr/bin/env bash
# The main job: installs what is missing, builds VarnokSrv.exe, registers it in the project's Wine prefix and
# prints the 31 fields of a certificate data file read through COM by a script client.
# Usage: run-sample.sh [data file, Linux path; default examples/certificate.xml]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
data=$(realpath "${1:-$here/examples/certificate.xml}")
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh" VarnokSrv

source "$here/scripts/wine-session.sh"
wine_prefix_ensure
win() { printf 'Z:%s' "${1//\//\\}"; }
"$here/scripts/wine-run.sh" "$here/build/win32/VarnokSrv.exe" /RegServer
# cscript writes to a pipe in the OEM code page (852 under Polish settings).
"$here/scripts/wine-run.sh" 'C:\windows\syswow64\cscript.exe' //nologo \
    "$(win "$here/examples/read-certificate.js")" "$(win "$data")" | iconv -f cp852 -t utf-8
