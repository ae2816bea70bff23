#!/usr/bin/env bash
# The Aztec reader's corpus report: per family, how many images varnok-scan read to exactly the expected bytes
# (a sequence symbol also with its note on stderr), how many it answered with a wrong text, and the time per image
# (one process per image); then the stress images' times (each ended after 120 s) and the worst of them; last the
# false-read corpus (tests/aztec/check-noise.sh): how many images without a symbol were read as one. Prints
# figures; asserts nothing. When a reference reader is at hand (zxing-cpp's ZXingReader, built by hand: its path in
# VARNOK_REFERENCE_READER, or build/reference/ZXingReader), its reads and times on the same images are printed
# beside ours.
#   scripts/aztec-corpus.sh [--noise=N] [folder...]   (default: a standard and a hard damage corpus and every family
#                                          of tests/aztec/make-families.sh, generated into build/corpus; N noise
#                                          images, 1000 unless given: 10000 for the full run, 0 for none)
set -euo pipefail
shopt -s nullglob
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/install-deps.sh" >/dev/null
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$here/build/release" varnok-scan generate-payload make-noise >/dev/null
scan=${VARNOK_SCAN:-$here/build/release/varnok-scan}  # another build of ours, to compare
reference=${VARNOK_REFERENCE_READER:-$here/build/reference/ZXingReader}
if [ -x "$reference" ]; then echo "reference reader: $reference"
else echo "no reference reader at $reference: its columns are left out"; reference=; fi
generate=$here/build/release/tests/generator/generate-payload
noise=1000
if [[ ${1:-} == --noise=* ]]; then noise=${1#--noise=}; shift; fi
folders=("$@")
if [ ${#folders[@]} -eq 0 ]; then
  for level in standard hard; do
    rm -rf "$here/build/corpus/$level"
    "$here/tests/aztec/make-corpus.sh" "$generate" "$here/build/corpus/$level" "$level" >/dev/null
    folders+=("$here/build/corpus/$level")
  done
  rm -rf "$here/build/corpus/families"
  "$here/tests/aztec/make-families.sh" "$generate" "$here/build/corpus/families" >/dev/null
  folders+=("$here/build/corpus/families")
fi

millis() { echo $(( $(date +%s%N) / 1000000 )); }
for folder in "${folders[@]}"; do
  echo "== $folder"
  printf '%-20s %6s %6s %6s %9s %9s' family images read wrong "ms/image" "worst ms"
  [ -z "$reference" ] && echo || printf ' %8s %8s\n' "ref read" "ref ms"
  declare -A total=() good=() wrong=() spent=() worst=() refgood=() refspent=()
  for expected in "$folder"/*.txt; do
    image=${expected%.txt}
    family=$(basename "$image"); family=${family%%-*}
    start=$(millis)
    line=$("$scan" "$image" 2>"$image.stderr" || true)
    took=$(( $(millis) - start ))
    total[$family]=$(( ${total[$family]:-0} + 1 ))
    spent[$family]=$(( ${spent[$family]:-0} + took ))
    [ "$took" -le "${worst[$family]:-0}" ] || worst[$family]=$took
    text=${line#"$image"$'\t'}
    if [ "$text" = "$(cat "$expected")" ]; then
      if [ ! -f "$image.note" ] || [ "$(cat "$image.stderr")" = "$image: $(cat "$image.note")" ]; then
        good[$family]=$(( ${good[$family]:-0} + 1 ))
      else
        echo "NOTE $(basename "$image"): \"$(head -c 80 "$image.stderr")\" instead of \"$(head -c 80 "$image.note")\""
      fi
    elif [[ $text != '!'$'\t'* ]]; then
      wrong[$family]=$(( ${wrong[$family]:-0} + 1 ))
      echo "WRONG $(basename "$image"): ${text:0:80}"
    fi
    rm -f "$image.stderr"
    if [ -n "$reference" ]; then
      start=$(millis)
      "$reference" -formats Aztec -bytes "$image" >"$image.ref" 2>/dev/null || true
      refspent[$family]=$(( ${refspent[$family]:-0} + $(millis) - start ))
      ! cmp -s "$image.ref" "$expected" || refgood[$family]=$(( ${refgood[$family]:-0} + 1 ))
      rm -f "$image.ref"
    fi
  done
  all=0; read=0; bad=0
  for family in $(printf '%s\n' "${!total[@]}" | sort); do
    printf '%-20s %6d %6d %6d %9d %9d' "$family" "${total[$family]}" "${good[$family]:-0}" "${wrong[$family]:-0}" \
      $(( spent[$family] / total[$family] )) "${worst[$family]}"
    [ -z "$reference" ] && echo ||
      printf ' %8d %8d\n' "${refgood[$family]:-0}" $(( refspent[$family] / total[$family] ))
    all=$((all + total[$family])); read=$((read + ${good[$family]:-0})); bad=$((bad + ${wrong[$family]:-0}))
    refread=$(( ${refread:-0} + ${refgood[$family]:-0} ))
  done
  [ "$all" -eq 0 ] || printf '%-20s %6d %6d %6d%s\n' all "$all" "$read" "$bad" "${reference:+ (reference: $refread)}"
  unset total good wrong spent worst refgood refspent refread
  if [ -d "$folder/stress" ]; then
    echo "== stress images (no symbol): time per image"
    slowest=0
    for image in "$folder"/stress/*.png; do
      start=$(millis)
      status=0; line=$(timeout 120 "$scan" "$image" 2>/dev/null) || status=$?
      [ $status -ne 124 ] || line=$image$'\t'"(ended after 120 s)"
      took=$(( $(millis) - start ))
      [ "$took" -le "$slowest" ] || slowest=$took
      printf '%-28s %7s  %9d ms  %s\n' "$(basename "$image")" "$(identify -ping -format '%wx%h' "$image")" "$took" \
        "${line#"$image"$'\t'}"
    done
    printf 'worst stress time: %d ms\n' "$slowest"
  fi
done
if [ "$noise" -gt 0 ]; then
  echo "== false reads: images without a symbol"
  start=$(millis)
  "$here/tests/aztec/check-noise.sh" "$scan" "$here/build/release/make-noise" "$noise" 1 "$here/build/corpus/noise" || true
  echo "$(( ($(millis) - start) / noise )) ms per image, generation included"
fi
