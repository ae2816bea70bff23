#!/usr/bin/env bash
# The Aztec reader alone, ours against the reference's library (scripts/reference-reader.sh builds it), on the same
# gray pixels: every image decoded once to an 8-bit gray PGM, then each reader's bench program reads each image
# `repeats` times in one process and gives the median processor time of a read. Sets: the committed corpus (its
# standard set, then its samples of the test families), the page corpus (tests/aztec/make-pages.sh: A4 at 200-600 dpi as offices scan them), and its pages
# without a symbol. Prints per image and per set the sums of the medians, the ratio, and how many each read (and
# any text of ours that is not the expected one). Asserts nothing.
#   scripts/reader-bench.sh [repeats, default 5]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
repeats=${1:-5}
"$here/scripts/install-deps.sh" >/dev/null
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$here/build/release" aztec-reader-bench generate-payload >/dev/null
ours=$here/build/release/bench/aztec-reader-bench
reference=${VARNOK_REFERENCE_BENCH:-$here/build/reference/reference-reader-bench}
[ -x "$reference" ] || { echo "no reference bench at $reference: our figures only (scripts/reference-reader.sh)"; reference=; }
pages=$("$here/scripts/page-corpus.sh")
work=$(mktemp -d /tmp/varnok-reader-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# gray <set> <image...>: the images as PGM in $work/<set>, each with its expected bytes beside it when known.
gray() {
  local set=$1 image; shift
  mkdir -p "$work/$set"
  for image in "$@"; do
    convert "$image" -colorspace Gray -depth 8 "pgm:$work/$set/$(basename "$image").pgm"
    if [ -f "$image.txt" ]; then cp "$image.txt" "$work/$set/$(basename "$image").pgm.txt"; fi
  done
}
# The standard set is the committed corpus's 17 images made by tests/aztec/make-corpus.sh (by their names); the
# rest of that folder are samples of the test families.
standard=() families=()
for image in "$here"/tests/aztec/corpus/*.{png,jpg}; do
  if [[ $(basename "$image") =~ ^(clean|rotate|tilted|blur|noise|jpeg|lighting|contrast|barrel|wave|reversed|combo|module2px|otherencoder|page)-[0-9]+\. ]]; then
    standard+=("$image")
  else families+=("$image"); fi
done
gray standard "${standard[@]}"
gray families "${families[@]}"
gray pages "$pages"/page-*.{png,jpg}
gray blank "$pages"/blank-*.{png,jpg}

printf '%-34s %9s %9s %7s  %s\n' image "ours ms" "ref ms" ratio "read (ours/ref)"
for set in standard families pages blank; do
  "$ours" "$repeats" "$work/$set"/*.pgm >"$work/$set.ours"
  if [ -n "$reference" ]; then "$reference" "$repeats" "$work/$set"/*.pgm >"$work/$set.ref"
  else cut -f1 "$work/$set.ours" | sed 's/$/\t0\t-\t/' >"$work/$set.ref"; fi
  paste "$work/$set.ours" "$work/$set.ref" | while IFS=$'\t' read -r file ms ok text _ ref_ms ref_ok _; do
    wrong=
    if [ "$ok" = ok ] && [ -f "$file.txt" ] && [ "$text" != "$(od -An -v -tx1 "$file.txt" | tr -d ' \n')" ]; then
      wrong=" WRONG TEXT"
    fi
    printf '%-34s %9.2f %9.2f %7s  %s/%s%s\n' "$(basename "$file" .pgm)" "$ms" "$ref_ms" \
      "$(awk -v a="$ms" -v b="$ref_ms" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')" "$ok" "$ref_ok" "$wrong"
  done | tee "$work/$set.lines"
  awk -v set="$set" '{ n++; a += $2; b += $3; split($5, r, "/"); o += r[1] == "ok"; f += r[2] == "ok"; w += /WRONG/ }
    END { printf "== %s: %d images, ours %.1f ms, reference %.1f ms, ratio %s; read %d / %d; wrong texts %d\n",
          set, n, a, b, (b > 0 ? sprintf("%.2f", a / b) : "-"), o, f, w }' "$work/$set.lines" | tee -a "$work/summary"
done
echo "reader alone, sums of the medians of $repeats reads (processor time):"
cat "$work/summary"
