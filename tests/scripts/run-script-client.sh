#!/usr/bin/env bash
# Runs a script client under cscript (32-bit or 64-bit host) and passes only on its own all-clear line.
# Usage: run-script-client.sh 32|64 script.js [arguments in Windows form...]
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bits=$1; script=$2; shift 2
source "$here/tests/scripts/cscript-common.sh"
host=$(cscript_host "$bits") || exit 2
scratch=$(mktemp -d /tmp/varnok-script.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

output=$("$here/scripts/wine-run.sh" "$host" //nologo "$(win "$(realpath "$script")")" "$@" "$(win "$scratch")" 2>&1 |
         iconv -f cp852 -t utf-8 -c)
echo "$output"
grep -q '^RESULT pass=[1-9][0-9]* fail=0' <<<"$output"
