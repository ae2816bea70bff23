#!/usr/bin/env bash
# Makes A4 pages as an office's multifunction printer scans them: a letter of printed text, the certificate laid
# on it somewhere (its tinted card, its text and its symbol, at a small turn), an office stamp, a signature, the
# fold of a page that came in an envelope, the scanner's soft optics and noise; at 200, 300 and 600 dpi, gray and
# colour, JPEG and PNG; and a few pages without a symbol. Each page with a symbol gets <page>.txt holding its
# bytes. Reproducible: fixed seeds.
# Usage: make-pages.sh <generate-payload binary> <output folder>
set -euo pipefail
export LC_ALL=C.UTF-8
generate=$1 out=$2
mkdir -p "$out"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

letter=(
  "Urząd Miasta — Wydział Komunikacji, Referat Rejestracji Pojazdów"
  "W nawiązaniu do wniosku z dnia 14 listopada uprzejmie informuję, że dowód rejestracyjny pojazdu"
  "wskazanego poniżej został wydany i jest gotowy do odbioru w punkcie obsługi mieszkańców."
  "Prosimy o okazanie dokumentu tożsamości oraz dotychczasowego pozwolenia czasowego."
  "Zgodnie z przepisami właściciel pojazdu jest obowiązany zawiadomić starostę o zbyciu pojazdu"
  "w terminie 30 dni. Niedopełnienie tego obowiązku zagrożone jest karą administracyjną."
  "Kopię dowodu rejestracyjnego załączono do akt sprawy. Dane w dokumencie są fikcyjne."
  "Lp.  Numer rejestracyjny   Marka     Model        Rok   Uwagi"
  "1.   WE 12345             MARKA     MODEL X      2019  badanie techniczne do 2027-03-01"
  "2.   WX 9876A             MARKA     KOMBI        2015  zastaw rejestrowy — wykreślony"
)

# The page's own background: paper, a little off white.
paper() { echo 'xc:#FAF8F2'; }

# page <name> <dpi> <k> <colour|gray> <jpg|png> <with symbol: 1|0>
page() {
  local name=$1 dpi=$2 k=$3 colour=$4 ext=$5 with=$6
  # A 600-dpi page is made at 300 and enlarged at the end, as a scanner interpolates: the image library would
  # otherwise work on a page this size through a cache on disk, an hour a page.
  local scale=()
  [ "$dpi" -gt 300 ] && { scale=(-resize "$((dpi * 100 / 300))%"); dpi=300; }
  local w h pt line y i file text mm module x0 y0 cw ch turn
  w=$(printf '%.0f' "$(echo "8.27 * $dpi" | bc -l)"); h=$(printf '%.0f' "$(echo "11.69 * $dpi" | bc -l)")
  pt=$(( dpi * 11 / 72 ))  # 11-point type
  mm() { printf '%.0f' "$(echo "$1 * $dpi / 25.4" | bc -l)"; }
  # The letter's text, in lines 1.5 type heights apart, between margins of 25 mm.
  local draws=()
  y=$(mm 30)
  for i in $(seq 0 33); do
    line=${letter[$(( (i + k) % ${#letter[@]} ))]}
    draws+=(-draw "text $(mm 25),$y '$line'")
    y=$(( y + pt * 3 / 2 ))
    [ $((i % 7)) -eq 6 ] && y=$(( y + pt ))
  done
  # The certificate: a card of 148 x 105 mm, tinted, with its text, and the symbol with 0.33-0.45 mm modules at
  # its right; turned by up to 3 degrees.
  cw=$(mm 148) ch=$(mm 105)
  module=$(echo "(33 + ($k * 7) % 13) / 100 * $dpi / 25.4" | bc -l)
  "$generate" "random:$((k + 100))" "$([ $((k % 2)) -eq 0 ] && echo current || echo older)" >"$tmp/data"
  truncate -s -1 "$tmp/data"
  convert -size "${cw}x${ch}" xc:'#E4EFE0' -fill none -stroke '#6C8A66' -strokewidth "$(( dpi / 100 + 1 ))" \
    -draw "rectangle $(mm 2),$(mm 2) $((cw - $(mm 2))),$((ch - $(mm 2)))" -stroke none -fill '#2A2A2A' \
    -font DejaVu-Sans -pointsize $(( dpi * 8 / 72 )) \
    -draw "text $(mm 6),$(mm 12) 'RZECZPOSPOLITA POLSKA   DOWÓD REJESTRACYJNY'" \
    -draw "text $(mm 6),$(mm 20) 'A  WE 12345        B  2019-05-14'" \
    -draw "text $(mm 6),$(mm 27) 'C.1.1  KOWALSKA ANNA'" \
    -draw "text $(mm 6),$(mm 34) 'D.1  MARKA   D.2  TYP   D.3  MODEL X'" \
    -draw "text $(mm 6),$(mm 41) 'E  VIN00000000000001'" \
    -draw "text $(mm 6),$(mm 48) 'Seria DR/BAR 0417252'" "$tmp/card.png"
  if [ "$with" = 1 ]; then
    zint -b 92 --scale=0.5 --whitesp=0 --vwhitesp=0 --binary -i "$tmp/data" -o "$tmp/bare.png"
    convert "$tmp/bare.png" -filter point -resize "$(echo "$module * 100" | bc -l)%" "$tmp/sym.png"
    convert "$tmp/card.png" "$tmp/sym.png" -gravity NorthEast -geometry "+$(mm 8)+$(mm 12)" -composite \
      "$tmp/card.png"
    cp "$tmp/data" "$out/$name.$ext.txt"
  fi
  turn=$(echo "(($k * 37) % 61 - 30) / 10" | bc -l)
  convert "$tmp/card.png" -background none -rotate "$turn" "$tmp/card.png"
  # Where the card lies: anywhere on the page but its margins, by the seed.
  x0=$(( (k * 7919) % (w - $(identify -format %w "$tmp/card.png") - $(mm 10)) + $(mm 5) ))
  y0=$(( (k * 104729) % (h - $(identify -format %h "$tmp/card.png") - $(mm 10)) + $(mm 5) ))
  # The stamp (a ring of blue with its words) and the signature (two blue strokes) near the letter's end; the
  # fold across the page at a third of its height.
  local sx=$(( w * 3 / 5 )) sy=$(( h * 4 / 5 )) r; r=$(mm 18)
  local tone=(); [ "$colour" = gray ] && tone=(-colorspace Gray)
  convert -size "${w}x${h}" "$(paper)" -font DejaVu-Sans -pointsize "$pt" -fill '#222222' "${draws[@]}" \
    "$tmp/card.png" -geometry "+$x0+$y0" -composite \
    -fill none -stroke '#3346A8C0' -strokewidth "$(( dpi / 60 + 1 ))" \
    -draw "circle $sx,$sy $((sx + r)),$sy" -draw "circle $sx,$sy $((sx + r * 3 / 4)),$sy" \
    -stroke none -fill '#3346A8C0' -pointsize $(( pt * 3 / 4 )) \
    -draw "text $((sx - r * 3 / 5)),$((sy + pt / 3)) 'STAROSTA'" \
    -fill none -stroke '#1B2A8A' -strokewidth "$(( dpi / 120 + 1 ))" \
    -draw "bezier $((sx - r * 4)),$((sy + r)) $((sx - r * 3)),$((sy - r)) $((sx - r * 2)),$((sy + r * 2)) $((sx - r)),$((sy))" \
    -draw "bezier $((sx - r * 3)),$((sy + r / 2)) $((sx - r * 2)),$((sy + r)) $((sx)),$((sy - r / 2)) $((sx + r)),$((sy + r / 3))" \
    -stroke '#D2CFC8' -strokewidth "$(( dpi / 150 + 1 ))" -draw "line 0,$((h / 3)) $w,$((h / 3 + k))" \
    -stroke none -fill '#00000010' -draw "rectangle 0,$((h / 3 + 2)) $w,$((h / 3 + $(mm 3)))" \
    -background '#FAF8F2' -rotate "0.$((k % 4))" -gravity center -extent "${w}x${h}" \
    -blur "0x$(echo "$dpi / 300 * 0.7" | bc -l)" -seed "$k" -attenuate 0.12 +noise Gaussian \
    "${tone[@]}" "${scale[@]}" -define png:exclude-chunk=date,time \
    -quality "$([ "$ext" = jpg ] && echo 85 || echo 90)" "$out/$name.$ext"
}

n=0
for kind in "200 gray jpg" "200 colour jpg" "200 gray png" "200 colour png" \
            "300 gray jpg" "300 colour jpg" "300 gray png" "300 colour png" "300 gray jpg" "300 colour jpg" \
            "600 gray jpg" "600 colour jpg"; do
  read -r dpi colour ext <<<"$kind"
  n=$((n + 1))
  page "page-$dpi-$colour-$n" "$dpi" "$n" "$colour" "$ext" 1
done
for kind in "200 gray jpg" "300 colour jpg" "300 gray png" "600 gray jpg"; do
  read -r dpi colour ext <<<"$kind"
  n=$((n + 1))
  page "blank-$dpi-$colour-$n" "$dpi" "$n" "$colour" "$ext" 0
done
echo "$n pages in $out"
