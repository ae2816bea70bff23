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
# One request per round, as an uninstall makes it, at a different moment of the client's run each time.
for round in 1 2 3 4; do
  "$run" "$client" "$sample" 30 >"$log" 2>&1 &
  pid=$!
  sleep "1.$((round * 2))"
  staying=$("$run" "$tool" ask-to-leave "$server" 2>&1 | tr -d '\r')
  if wait "$pid"; then
    echo "round $round: $(tr -d '\r' <"$log" | tail -n 1); servers that stayed for their clients: $staying"
  else
    echo "FAIL round $round: the client failed:"; sed 's/^/    /' "$log"; failed=1
  fi
done
exit $failed
