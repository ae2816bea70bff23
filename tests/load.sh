#!/usr/bin/env bash
# Runs LoadClient processes at once against one server (half through the vtable, half by name) and passes when
# every call of every client was answered correctly and the server process ends afterwards. With --measure
# (one client), the server's memory may grow by less than 1 MiB and its handle count by at most 2
# between the first tenth of the calls and the end.
# Usage: load.sh <LoadClient.exe> <sample, Windows path> <clients> <calls each> [--measure]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
client=$1 sample=$2 clients=$3 calls=$4 measure=${5:-}
scratch=$(mktemp -d /tmp/varnok-load.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
win() { printf 'Z:%s' "${1//\//\\}"; }
servers() { ps -eo stat=,args= | awk '$1 !~ /^Z/ && /VarnokSrv\.exe/ && !/awk/' | wc -l; }

start=$(date +%s)
pids=()
for i in $(seq "$clients"); do
  mkdir -p "$scratch/$i"
  binding=vtable; [ $((i % 2)) -eq 0 ] && binding=dispatch
  "$here/scripts/wine-run.sh" "$client" "$calls" "$binding" "$sample" "$(win "$scratch/$i")" $measure \
      >"$scratch/$i.out" 2>&1 </dev/null &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
echo "$clients client(s) x $calls calls in $(($(date +%s) - start)) s"
cat "$scratch"/*.out
[ "$(grep -c '^RESULT .* failures=0$' "$scratch"/*.out | awk -F: '{ s += $2 } END { print s }')" -eq "$clients" ] || status=1

if [ -n "$measure" ]; then
  read -r private handles < <(sed -n 's/^GROWTH memory=\(-\?[0-9]*\) KiB handles=\(-\?[0-9]*\)$/\1 \2/p' "$scratch/1.out")
  [ "${private:-99999}" -lt 1024 ] || { echo "memory grew by $private KiB"; status=1; }
  [ "${handles:-99}" -le 2 ] || { echo "handle count grew by $handles"; status=1; }
fi

for _ in $(seq 100); do [ "$(servers)" -eq 0 ] && break; sleep 0.1; done
[ "$(servers)" -eq 0 ] || { echo "the server did not exit after its clients"; status=1; }
exit $status
