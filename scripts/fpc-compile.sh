#!/usr/bin/env bash
# Compiles a Delphi program for 32-bit Windows with our Free Pascal cross compiler (built on first use), with the
# Windows COM units and the program's own folder on the unit path. A warning in the program fails the build.
# Usage: fpc-compile.sh <program.dpr> <output folder> [more unit folders...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
program=$(realpath "$1") out=$(realpath -m "$2")
shift 2
fpc=$("$here/scripts/fpc-win32.sh")
units=(-Fu"$fpc/units/i386-win32/rtl" -Fu"$fpc/units/i386-win32/packages")
for folder in "$@"; do units+=(-Fu"$(realpath "$folder")"); done
mkdir -p "$out/units"
log="$out/compile.log"
if ! "$fpc/bin/ppcross386" -n -Twin32 -Pi386 -O2 -Xs -vew "${units[@]}" -FU"$out/units" -FE"$out" "$program" \
     >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
# The imported units are taken as importtl writes them; the program itself must compile cleanly.
name=$(basename "$program")
if grep -q "^$name([0-9,]*) Warning:" "$log"; then
  grep "^$name([0-9,]*) Warning:" "$log" >&2
  echo "fpc-compile.sh: $(basename "$program") compiles with warnings" >&2
  exit 1
fi
