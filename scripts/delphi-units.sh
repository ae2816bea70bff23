#!/usr/bin/env bash
# Imports the Delphi units of VarnokSrv's two type libraries (VarnokSrv_TLB.pas, VarnokSrvImage_TLB.pas) from the
# libraries embedded in VarnokSrv.exe, with Free Pascal's importtl run under Wine, as a Delphi developer imports them.
# The import is kept as written but for four lines, so that both compilers take it and two imports compare equal:
# the unit is named without the library's version (as Delphi's own import names it), the date and path of the
# import go, the FPC mode switch is hidden from dcc32, and stdole2 leaves the uses clause (Delphi has no such unit
# and nothing here refers to it).
# Usage: delphi-units.sh <VarnokSrv.exe> <output folder>
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
server=$(realpath "$1") out=$2
fpc=$("$here/scripts/fpc-win32.sh")
mkdir -p "$out"
# importtl is a 32-bit program: the prefix needs its 32-bit half, made under emulation where the host runs no
# 32-bit code.
source "$here/scripts/wine-session.sh"
wine_prefix_ensure >&2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/varnok-import.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

win() { echo "Z:${1//\//\\}"; }
# Resource 1 is the FileReader library, resource 2 the ImageReader one.
for library in "" '\2'; do
  "$here/scripts/wine-run.sh" "$fpc/bin/importtl.exe" -n -d "$(win "$scratch")" "$(win "$server")$library" \
    >>"$scratch/importtl.log" 2>&1 || { cat "$scratch/importtl.log" >&2; exit 1; }
done
for library in VarnokSrv VarnokSrvImage; do
  imported=$scratch/${library}_1_0_TLB.pas
  [ -s "$imported" ] || { echo "delphi-units.sh: importtl wrote no ${library}_1_0_TLB.pas" >&2; cat "$scratch/importtl.log" >&2; exit 1; }
  perl -pe 's/^Unit (\w+)_1_0_TLB;/Unit $1_TLB;/;
            s/^\/\/  Imported (\w+) on [^\r\n]*/\/\/  Imported $1 from VarnokSrv.exe/;
            s/^\{\$mode delphi\}\{\$H\+\}/{\$IFDEF FPC}{\$MODE DELPHI}{\$ENDIF}{\$H+}/;
            s/^(  Windows,ActiveX,Classes,Variants),stdole2;/$1;/' "$imported" >"$out/${library}_TLB.pas"
done
