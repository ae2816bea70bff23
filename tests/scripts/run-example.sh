#!/usr/bin/env bash
# Runs an example script under cscript (32-bit or 64-bit host) and compares what it prints with the expected text.
# Usage: run-example.sh 32|64 expected.txt script [arguments, Linux paths are turned into Windows ones]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bits=$1; expected=$2; script=$3; shift 3
source "$here/tests/scripts/cscript-common.sh"
host=$(cscript_host "$bits") || exit 2
scratch=$(mktemp -d /tmp/varnok-example.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
arguments=()
for argument in "$@" "$scratch"; do arguments+=("$(win "$(realpath "$argument")")"); done

"$here/scripts/wine-run.sh" "$host" //nologo "$(win "$(realpath "$script")")" "${arguments[@]}" 2>&1 |
    iconv -f cp852 -t utf-8 | tr -d '\r' >"$scratch/output.txt"
diff -u "$expected" "$scratch/output.txt"
