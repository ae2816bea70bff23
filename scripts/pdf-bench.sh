#!/usr/bin/env bash
# The hostile PDF files (tests/pdf/HostileFiles.cpp) read by the release build of varnok-scan, one process per file
# as a user runs it: the median wall and processor time (the fairer figure on a shared machine), the peak memory
# and how each ended, beside the bounds every file must keep (2 s of processor time, 512 MiB). Asserts nothing.
#   scripts/pdf-bench.sh [repeats, default 3] [varnok-scan to compare, e.g. an older build]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
repeats=${1:-3}
"$here/scripts/install-deps.sh" >/dev/null
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$here/build/release" varnok-scan make-hostile-pdfs >/dev/null
scan=${2:-$here/build/release/varnok-scan}
work=$(mktemp -d /tmp/varnok-pdf-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$here/build/release/tests/unit/make-hostile-pdfs" "$work"

median() { sort -n | sed -n "$(( (repeats + 1) / 2 ))p"; }
worst=0 worst_name=
cpu_bound=2000 memory_bound=512
printf '%-26s %9s %9s %9s %9s %7s  %s\n' file KiB "wall ms" "cpu ms" "peak MiB" bounds result
for pdf in "$work"/*.pdf; do
  name=$(basename "$pdf")
  walls=() cpus=()
  for _ in $(seq "$repeats"); do
    start=$(date +%s%N)
    /usr/bin/time -f '%U %S %M' -o "$work/usage" timeout 60 "$scan" "$pdf" >"$work/line" 2>/dev/null || true
    walls+=($(( ($(date +%s%N) - start) / 1000000 )))
    read -r user system rss_kib < <(tail -n 1 "$work/usage")
    cpus+=("$(echo "($user + $system) * 1000 / 1" | bc)")
  done
  wall=$(printf '%s\n' "${walls[@]}" | median)
  cpu=$(printf '%s\n' "${cpus[@]}" | median)
  result=$(cut -f2- "$work/line" | tr '\t' ' ' | cut -c1-60)
  peak=$((rss_kib / 1024))
  bounds=within
  if [ "$cpu" -gt "$cpu_bound" ] || [ "$peak" -gt "$memory_bound" ]; then bounds=OVER; fi
  printf '%-26s %9s %9s %9s %9s %7s  %s\n' "$name" $(( $(stat -c %s "$pdf") / 1024 )) "$wall" "$cpu" "$peak" "$bounds" \
    "${result:-(no answer within 60 s)}"
  if [ "$cpu" -gt "$worst" ]; then worst=$cpu worst_name=$name; fi
done
echo "worst hostile file: $worst_name, $worst ms of processor time (bounds: each within $cpu_bound ms and" \
     "$memory_bound MiB, whole process)"
