#!/usr/bin/env bash
# A client killed while it holds an object, and one that quits without releasing it. Runs against the baseline
# server (the same process, lifetime and object code as VarnokSrv under identifiers of its own), because a server
# that has to be killed afterwards leaves its class registered with Wine's RPC service and would disturb the
# tests that follow. Passes when the server keeps serving other clients and exits after the killed client's
# object is run down; for the client that quits, it reports what Wine does (it never runs that object down).
# Usage: client-killed.sh <VarnokBaseline.exe> <sample, Windows path>
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
baseline=$1 sample=$2
source "$here/tests/scripts/cscript-common.sh"
run() { "$here/scripts/wine-run.sh" "$@"; }
source "$here/tests/scripts/processes.sh"
servers() { process_ids 'VarnokBaseline\.exe -Embedding'; }
status=0

run "$baseline" /RegServer || exit 1
cleanup() {
  for pid in $(servers); do kill -9 "$pid" 2>/dev/null; done
  run "$baseline" /UnregServer
}
trap cleanup EXIT

out=$(mktemp)
run "$(cscript_host 32)" //nologo "$(win "$here/tests/scripts/hold-object.js")" VarnokBaseline.FileReader "$sample" \
    >"$out" 2>&1 </dev/null &
for _ in $(seq 100); do grep -q '^holding: OK' "$out" && break; sleep 0.1; done
grep -q '^holding: OK' "$out" || { echo "the holding client did not start"; cat "$out"; exit 1; }
holder=$(process_ids 'hold-object\.js')
[ -n "$holder" ] && kill -9 $holder
echo "client killed while holding an object"

# The server must go on serving others.
printf 'var r = new ActiveXObject("VarnokBaseline.FileReader");\nWScript.Echo("served: " + r.ReadData("x") + " " + r.NrRejestracyjny);\nr = null; CollectGarbage();\n' >"$out.js"
answer=$(run "$(cscript_host 64)" //nologo "$(win "$out.js")" 2>&1 </dev/null | tr -d '\r')
echo "$answer"
[ "$answer" = "served: OK WA 12345" ] || { echo "FAIL: the server no longer serves other clients"; status=1; }

# seconds until no server runs, at most 10
wait_for_exit() {
  local seconds=0
  while [ -n "$(servers)" ] && [ $seconds -lt 10 ]; do sleep 1; seconds=$((seconds + 1)); done
  echo $seconds
}
seconds=$(wait_for_exit)
if [ -n "$(servers)" ]; then
  echo "FAIL: the server still runs ${seconds} s after the killed client's object should have been run down"
  status=1
else
  echo "the killed client's object was run down: the server exited ${seconds} s after the last live client left"
fi

printf 'var r = new ActiveXObject("VarnokBaseline.FileReader");\nWScript.Echo("quitting: " + r.ReadData("x"));\nWScript.Quit(0);\n' >"$out.js"
run "$(cscript_host 32)" //nologo "$(win "$out.js")" </dev/null
seconds=$(wait_for_exit)
if [ -n "$(servers)" ]; then
  echo "a client that quit without releasing its object: the server still runs ${seconds} s later (Wine never runs it down)"
else
  echo "a client that quit without releasing its object: the server exited ${seconds} s later"
fi
rm -f "$out" "$out.js"
exit $status
