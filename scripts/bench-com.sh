#!/usr/bin/env bash
# COM benchmarks under Wine: VarnokSrv against its do-nothing baseline (same plumbing), with our decoder beside
# the server. Prints figures and their targets; asserts nothing.
#   scripts/bench-com.sh [cycles for the memory run, default 10000]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$here/scripts/host.sh"
win_build=$(host_build_dir "$VARNOK_WIN_BITS")  # the build under test on this host
cycles=${1:-10000}
"$here/scripts/install-deps.sh" >/dev/null
"$here/scripts/build.sh" VarnokSrv VarnokBaseline azteccodeQELM ComBench ImageWorkerBench >/dev/null
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$here/build/release" generate-payload varnok-scan >/dev/null

source "$here/scripts/wine-session.sh"
wine_session_begin
scratch=$(mktemp -d /tmp/varnok-bench.XXXXXX)
# Our decoder goes beside the server for the run; whatever was there (the tests' stand-in) comes back after.
beside="$win_build/azteccodeQELM.dll"
[ -f "$beside" ] && cp "$beside" "$scratch/previous.dll"
finish() {
  wine_session_end
  if [ -f "$scratch/previous.dll" ]; then cp "$scratch/previous.dll" "$beside"; else rm -f "$beside"; fi
  rm -rf "$scratch"
}
trap finish EXIT
win() { printf 'Z:%s' "${1//\//\\}"; }

# Distinct generated certificates (distinct registration numbers), so that every saved copy gets a name of its own.
for seed in $(seq 1 500); do
  "$here/build/release/tests/generator/generate-payload" "random:$seed" current
done >"$scratch/payloads.txt"
cp "$win_build/decoder/azteccodeQELM.dll" "$beside"
"$here/scripts/wine-run.sh" "$win_build/VarnokSrv.exe" /RegServer
"$here/scripts/wine-run.sh" "$win_build/bench/baseline/VarnokBaseline.exe" /RegServer
mkdir -p "$scratch/out"
# ReadCodet on the sample scan, and on the same scan placed on a 300-dpi A4 page.
convert -size 2480x3508 xc:white "$here/examples/certificate-scan.jpg" -geometry +1500+2600 -composite \
        -quality 85 "$scratch/page-300dpi.jpg"
# And the files built to hold a decoder for long: how long each holds ReadCodet.
"$here/tests/images/make-images.sh" "$here/tests/payloads/lorry-older.txt" "$here/tests/payloads/car-current.txt" \
    "$scratch/images" >/dev/null
"$here/tests/images/make-hostile.sh" "$scratch/images" --full
hostile=()
for f in "$scratch"/images/hostile/*; do [ "${f%.txt}" = "$f" ] && hostile+=("$(win "$f")"); done
export VARNOK_BENCH_IMAGES="$(win "$here/examples/certificate-scan.jpg");$(win "$scratch/page-300dpi.jpg")$(printf ';%s' "${hostile[@]}")"
# The native reader on the same files, one process per read as a user runs it: the median of eleven, in ms.
native_ms() {
  local times=() i start
  for i in $(seq 11); do
    start=$(date +%s%N)
    "$here/build/release/varnok-scan" "$1" >/dev/null || true
    times+=($(( ($(date +%s%N) - start) / 1000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk 'NR == 6 { printf "%.1f ms", $1 / 1000 }'
}
export VARNOK_BENCH_NATIVE_MS="$(native_ms "$here/examples/certificate-scan.jpg");$(native_ms "$scratch/page-300dpi.jpg")"
export VARNOK_BENCH_EMPTY_FIELDS="$(win "$here/tests/payloads/empty-fields.txt")"
# ComBench bounds each of its phases; this bounds the process as a whole, should Wine itself stop answering.
status=0
timeout --kill-after=10 $((1800 + cycles / 10)) "$here/scripts/wine-run.sh" "$win_build/bench/baseline/ComBench.exe" \
    "$(win "$here/examples/certificate.xml")" "$(win "$scratch/payloads.txt")" \
    "$(win "$win_build/decoder/azteccodeQELM.dll")" "$(win "$scratch/out")" "$cycles" </dev/null || status=$?
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  echo "bench-com.sh: ComBench did not finish in $((1800 + cycles / 10)) s and was stopped" >&2
fi
# The image worker's cost per decode against the same decode in process, and each hostile file's bound in it.
"$here/scripts/wine-run.sh" "$win_build/ImageWorkerBench.exe" "$(win "$here/examples/certificate-scan.jpg")" \
    "$(win "$scratch/page-300dpi.jpg")" -- "${hostile[@]}" </dev/null || status=$?
"$here/scripts/wine-run.sh" "$win_build/bench/baseline/VarnokBaseline.exe" /UnregServer
exit "$status"
