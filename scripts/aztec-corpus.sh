#!/usr/bin/env bash
# The Aztec reader's corpus report: per family, how many images varnok-scan read to exactly the expected bytes
# (a sequence symbol also with its note on stderr), how many it answered with a wrong text, and the time per image
# (one process per image); then the stress images' times (each ended after 120 s) and the worst of them; last the
# false-read corpus (tests/aztec/check-noise.sh): how many images without a symbol were read as one. Prints
# figures; asserts nothing.
#   scripts/aztec-corpus.sh [--noise=N] [folder...]   (default: a standard and a hard damage corpus and every family
#                                          of tests/aztec/make-families.sh, generated into build/corpus; N noise
#                                          images, 1000 unless given: 10000 for the full run, 0 for none)
set -euo pipefail
shopt -s nullglob
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/install-deps.sh" >/dev/null
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$here/build/release" varnok-scan generate-payload make-noise >/dev/null
scan=$here/build/release/varnok-scan
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
  printf '%-20s %6s %6s %6s %9s %9s\n' family images read wrong "ms/image" "worst ms"
  declare -A total=() good=() wrong=() spent=() worst=()
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
  done
  all=0; read=0; bad=0
  for family in $(printf '%s\n' "${!total[@]}" | sort); do
    printf '%-20s %6d %6d %6d %9d %9d\n' "$family" "${total[$family]}" "${good[$family]:-0}" "${wrong[$family]:-0}" \
      $(( spent[$family] / total[$family] )) "${worst[$family]}"
    all=$((all + total[$family])); read=$((read + ${good[$family]:-0})); bad=$((bad + ${wrong[$family]:-0}))
  done
  [ "$all" -eq 0 ] || printf '%-20s %6d %6d %6d\n' all "$all" "$read" "$bad"
  unset total good wrong spent worst
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
