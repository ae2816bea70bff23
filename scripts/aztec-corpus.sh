#!/usr/bin/env bash
# The Aztec reader's corpus report: per damage family, how many images varnok-scan read to exactly the expected
# text, and the time per image. Prints figures; asserts nothing.
#   scripts/aztec-corpus.sh [folder...]   (default: a standard and a hard corpus generated into build/corpus)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/install-deps.sh" >/dev/null
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$here/build/release" varnok-scan generate-payload >/dev/null
scan=$here/build/release/varnok-scan
folders=("$@")
if [ ${#folders[@]} -eq 0 ]; then
  for level in standard hard; do
    rm -rf "$here/build/corpus/$level"
    "$here/tests/aztec/make-corpus.sh" "$here/build/release/tests/generator/generate-payload" \
        "$here/build/corpus/$level" "$level" >/dev/null
    folders+=("$here/build/corpus/$level")
  done
fi
for folder in "${folders[@]}"; do
  echo "== $folder"
  printf '%-14s %6s %6s %10s\n' family images read "ms/image"
  declare -A total=() good=() millis=()
  for expected in "$folder"/*.txt; do
    image=${expected%.txt}
    family=$(basename "$image"); family=${family%%-*}
    start=$(date +%s%N)
    line=$("$scan" "$image" || true)
    end=$(date +%s%N)
    total[$family]=$(( ${total[$family]:-0} + 1 ))
    millis[$family]=$(( ${millis[$family]:-0} + (end - start) / 1000000 ))
    if [ "${line#*$'\t'}" = "$(cat "$expected")" ]; then good[$family]=$(( ${good[$family]:-0} + 1 )); fi
  done
  all=0; read=0
  for family in $(printf '%s\n' "${!total[@]}" | sort); do
    printf '%-14s %6d %6d %10d\n' "$family" "${total[$family]}" "${good[$family]:-0}" $(( millis[$family] / total[$family] ))
    all=$((all + total[$family])); read=$((read + ${good[$family]:-0}))
  done
  printf '%-14s %6d %6d\n' "all" "$all" "$read"
  unset total good millis
done
