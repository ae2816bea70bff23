#!/usr/bin/env bash
# Server lifecycle under concurrent clients: started on demand, one serving process at a time, gone after the last
# release. Wine starts a process for every client that activates while no server is reachable yet; the extras
# never register and leave within a few seconds, so "one at a time" is checked on processes older than that.
# One client of every round has the other word size than the server: a server serves 32-bit and 64-bit clients
# alike. (The other size may run under emulation, many times slower: one such client per round is enough.)
# Usage: lifecycle.sh <LifecycleClient.exe, the server's word size> <LifecycleClient.exe, the other> <sample.xml,
# Windows form>
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
run=$here/scripts/wine-run.sh
client_own=$1; client_other=$2; sample=$3
clients=8; rounds=${VARNOK_LIFECYCLE_ROUNDS:-3}; calls=${VARNOK_LIFECYCLE_CALLS:-12}
# A round takes seconds; a client still running after this is hung, and is said and ended here, so that the test
# fails on its own instead of being cut off by its runner with its server left behind.
round_limit=${VARNOK_LIFECYCLE_ROUND_LIMIT:-150}
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
    exe=$client_own; [ "$i" -eq 1 ] && exe=$client_other
    "$run" "$exe" "$sample" "$calls" >"$log" 2>&1 &
    pids+=($!)
  done
  started=$SECONDS
  while kill -0 "${pids[@]}" 2>/dev/null; do
    n=$(servers 5); [ "$n" -gt "$max" ] && max=$n
    n=$(servers); [ "$n" -gt "$most" ] && most=$n
    if [ $((SECONDS - started)) -ge "$round_limit" ]; then
      echo "FAIL round $round: clients still running after $round_limit s; what they and the server were doing:"
      # A client's command line ends with its count of calls; this script's own ends with the sample.
      kill -9 "${pids[@]}" 2>/dev/null
      end_leftovers 'LifecycleClient[0-9]*\.exe [^ ]+ [0-9]+ *$' 'LifecycleClient|VarnokSrv'
      failed=1
      break
    fi
    sleep 0.1
  done
  for i in "${!pids[@]}"; do
    if ! wait "${pids[$i]}"; then
      echo "FAIL round $round: client $((i + 1)) failed:"; sed 's/^/    /' "${logs[$i]}"; failed=1
    fi
    rm -f "${logs[$i]}"
  done
  if [ "$max" -gt 1 ]; then echo "FAIL round $round: $max long-lived server processes at once"; failed=1; fi
  exited="all exited"
  if ! wait_for_exit; then
    echo "FAIL round $round: the server did not exit after the last release"; failed=1; exited="one was ended"
    end_leftovers 'VarnokSrv\.exe -Embedding'
  fi
  echo "round $round: $clients clients x $calls calls; server processes at once: $max long-lived, $most in all; $exited"
done
exit $failed
