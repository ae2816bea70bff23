#!/usr/bin/env bash
# Server lifecycle under concurrent clients: started on demand, one serving process at a time, gone after the last
# release. Wine starts a process for every client that activates while no server is reachable yet; the extras
# never register and leave within a few seconds, so "one at a time" is checked on processes older than that.
# Usage: lifecycle.sh <LifecycleClient.exe 32-bit> <LifecycleClient.exe 64-bit> <sample.xml, Windows form>
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
run=$here/scripts/wine-run.sh
client32=$1; client64=$2; sample=$3
clients=8; rounds=${VARNOK_LIFECYCLE_ROUNDS:-3}; calls=${VARNOK_LIFECYCLE_CALLS:-25}
failed=0

source "$here/tests/scripts/processes.sh"
# Servers of this prefix, at least $1 seconds old.
servers() {
  local pid count=0
  for pid in $(process_ids 'VarnokSrv\.exe'); do
    [ "$(ps -o etimes= -p "$pid" 2>/dev/null || echo 0)" -ge "${1:-0}" ] && count=$((count + 1))
  done
  echo "$count"
}
wait_for_exit() {  # the grace period after the last release is about 2 s
  for _ in $(seq 1 50); do [ "$(servers)" -eq 0 ] && return 0; sleep 0.2; done
  return 1
}

start_clean 'VarnokSrv\.exe -Embedding'

for round in $(seq 1 "$rounds"); do
  pids=(); logs=()
  max=0; most=0
  for i in $(seq 1 $clients); do
    log=$(mktemp); logs+=("$log")
    exe=$client32; [ "$i" -eq 1 ] && exe=$client64   # one 64-bit client in every round
    "$run" "$exe" "$sample" "$calls" >"$log" 2>&1 &
    pids+=($!)
  done
  while kill -0 "${pids[@]}" 2>/dev/null; do
    n=$(servers 5); [ "$n" -gt "$max" ] && max=$n
    n=$(servers); [ "$n" -gt "$most" ] && most=$n
    sleep 0.1
  done
  for i in "${!pids[@]}"; do
    if ! wait "${pids[$i]}"; then
      echo "FAIL round $round: client $((i + 1)) failed:"; sed 's/^/    /' "${logs[$i]}"; failed=1
    fi
    rm -f "${logs[$i]}"
  done
  if [ "$max" -gt 1 ]; then echo "FAIL round $round: $max long-lived server processes at once"; failed=1; fi
  if ! wait_for_exit; then echo "FAIL round $round: the server did not exit after the last release"; failed=1; fi
  echo "round $round: $clients clients x $calls calls; server processes at once: $max long-lived, $most in all; all exited"
done
exit $failed
