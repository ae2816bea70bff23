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
source "$here/tests/scripts/processes.sh"
# This build's server only: other Wine prefixes on the machine may run servers of their own.
server=$(literal_pattern "$(win "$(realpath "$(dirname "$client")/../VarnokSrv.exe")")")

start_clean 'VarnokSrv\.exe -Embedding'
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
sed -i 's/\r$//' "$scratch"/*.out
echo "$clients client(s) x $calls calls in $(($(date +%s) - start)) s"
cat "$scratch"/*.out
passed=$(grep -hc '^RESULT .* failures=0$' "$scratch"/*.out | awk '{ s += $1 } END { print s }')
[ "$passed" -eq "$clients" ] || { echo "$((clients - passed)) client(s) failed"; status=1; }

if [ -n "$measure" ]; then
  read -r first second handles < <(sed -n 's/^GROWTH first=\(-\?[0-9]*\) KiB second=\(-\?[0-9]*\) KiB handles=\(-\?[0-9]*\)$/\1 \2 \3/p' "$scratch/1.out")
  least=$(( ${first:-99999} < ${second:-99999} ? ${first:-99999} : ${second:-99999} ))
  [ "$least" -lt 256 ] || { echo "memory grew in both intervals: $first KiB, then $second KiB"; status=1; }
  [ "${handles:-99}" -le 2 ] || { echo "handle count grew by $handles"; status=1; }
fi

wait_for_no_process "$server" || { echo "the server did not exit after its clients"; status=1; }
exit $status
