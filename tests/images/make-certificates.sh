#!/usr/bin/env bash
# A folder of scans as an office has it for the batch tool: each payload's symbol as a PNG, a symbol whose text is
# no certificate, an image without a symbol and a file of a format the tools do not read. What each symbol holds
# goes to a folder beside it, <name>.txt. A scan named like a text file tells the examples' routing by content.
# Usage: make-certificates.sh <payload folder> <output folder>
set -euo pipefail
payloads=$1 out=$2
rm -rf "$out"; mkdir -p "$out/skany" "$out/teksty" "$out/inne"
symbol() {  # symbol <name> <text>
  zint -b 92 --scale=1.5 --whitesp=4 --vwhitesp=4 -d "$2" -o "$out/skany/$1.png" >/dev/null
  printf '%s' "$2" >"$out/teksty/$1.txt"
}
for payload in "$payloads"/*.txt; do
  symbol "$(basename "$payload" .txt)" "$(cat "$payload")"
done
symbol napis "To nie jest dowod rejestracyjny"
convert -size 300x200 xc:white -fill black -draw 'rectangle 40,40 260,52' "$out/skany/bez kodu.png"
printf 'RIFF\0\0\0\0WEBPVP8 ' >"$out/skany/zdjęcie.webp"
cp "$out/skany/lorry-older.png" "$out/inne/skan.txt"
