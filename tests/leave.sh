#!/usr/bin/env bash
# Uninstall's leave request while a client keeps activating: every activation the server accepted is served to
# the end (the client checks every answer), however the request falls between the client's objects.
# Usage: leave.sh <LifecycleClient.exe> <KitTool.exe> <VarnokSrv.exe, Windows path> <sample.xml, Windows path>
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
run=$here/scripts/wine-run.sh
client=$1 tool=$2 server=$3 sample=$4
log=$(mktemp)
trap 'rm -f "$log"' EXIT
failed=0
source "$here/tests/scripts/processes.sh"
start_clean 'VarnokSrv\.exe -Embedding'
# Seconds the oldest server of this prefix has been running.
server_age() {
  local pid age oldest=0
  for pid in $(process_ids 'VarnokSrv\.exe -Embedding'); do
    age=$(ps -o etimes= -p "$pid" 2>/dev/null || echo 0)
    [ "$age" -gt "$oldest" ] && oldest=$age
  done
  echo "$oldest"
}

# One request per round, as an uninstall makes it, at a different moment of the client's run each time; never
# before the client has reached its server (a server asked to leave before any client came leaves, and an
# uninstall has removed the class by then anyway).
for round in 1 2 3 4; do
  wait_for_no_process 'VarnokSrv\.exe -Embedding' || { echo "FAIL: a server is still running before round $round"; exit 1; }
  "$run" "$client" "$sample" 30 --retry-refused >"$log" 2>&1 &
  pid=$!
  for _ in $(seq 100); do [ "$(server_age)" -ge 3 ] && break; sleep 0.1; done
  sleep "0.$((round * 2))"
  staying=$("$run" "$tool" ask-to-leave "$server" 2>&1 | tr -d '\r')
  if wait "$pid"; then
    echo "round $round: $(tr -d '\r' <"$log" | tail -n 1); servers that stayed for their clients: $staying"
  else
    echo "FAIL round $round: the client failed:"; sed 's/^/    /' "$log"; failed=1
  fi
done
wait_for_no_process 'VarnokSrv\.exe -Embedding' || { echo "FAIL: the server did not leave after the last round"; failed=1; }
exit $failed
