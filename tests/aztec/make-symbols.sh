#!/usr/bin/env bash
# Makes the committed module matrices the Aztec tests read: zint's dump (hex rows) of known texts, every compact
# and full-range size, with certificate payloads from our generator where they fit. Run by hand when the set
# changes; the tests never need zint.
# Usage: tests/aztec/make-symbols.sh <generate-payload binary>
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=$here/symbols
generate=$1
rm -f "$out"/*.txt
payload=$("$generate" car current)
lorry=$("$generate" lorry older)
texts=("$payload" "$lorry" "Mixed@sets\\^_\`|~ and {punct}: <tags>, \"quotes\"! #1" "Hello world 12345" "ABC")
# vers 1-4 compact, 5-36 full-range with 1-32 layers
for vers in $(seq 1 36); do
  for t in "${texts[@]}"; do
    if zint -b 92 --vers="$vers" --dump -d "$t" >"$out/tmp.dump" 2>/dev/null && [ -s "$out/tmp.dump" ]; then
      name=$(printf 'v%02d' "$vers")
      printf '%s' "$t" >"$out/$name.text"
      mv "$out/tmp.dump" "$out/$name.dump"
      break
    fi
  done
done
rm -f "$out/tmp.dump"
# Binary shift and ECI: UTF-8 Polish letters (zint adds ECI 26 with --eci).
printf '%s' 'Zażółć gęślą jaźń' >"$out/eci.text"
zint -b 92 --eci=26 --dump -d 'Zażółć gęślą jaźń' >"$out/eci.dump"
