#!/usr/bin/env bash
# A client killed while it holds an object, and one that quits without releasing it. Runs against the baseline
# server (the same process, lifetime and object code as VarnokSrv under identifiers of its own), because a server
# that has to be killed afterwards leaves its class registered with Wine's RPC service and would disturb the
# tests that follow. Passes when the server keeps serving other clients after a client is killed and leaves once
# the killed client's object is run down; and when, while a client that quit left its object unreleased (Wine never
# runs that one down), a new client is served and the server does not leave under that object.
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

# Tenths of a second until no server runs, waiting at most $1 tenths.
wait_for_exit() {
  local start tenths=0
  start=$(date +%s%N)
  while [ -n "$(servers)" ] && [ $tenths -lt "$1" ]; do
    sleep 0.1
    tenths=$((($(date +%s%N) - start) / 100000000))
  done
  echo $tenths
}
seconds() { printf '%d.%d' $(($1 / 10)) $(($1 % 10)); }
tenths=$(wait_for_exit 100)
if [ -n "$(servers)" ]; then
  echo "FAIL: the server still runs $(seconds "$tenths") s after the killed client's object should have been run down"
  status=1
else
  echo "the killed client's object was run down: the server exited $(seconds "$tenths") s after the last live client left"
fi

printf 'var r = new ActiveXObject("VarnokBaseline.FileReader");\nWScript.Echo("quitting: " + r.ReadData("x"));\nWScript.Quit(0);\n' >"$out.js"
# Into a file, not a pipe: a server this client starts inherits its output and, holding the orphan, keeps it open.
run "$(cscript_host 32)" //nologo "$(win "$out.js")" >"$out" 2>&1 </dev/null
quit=$(tr -d '\r' <"$out")
[ "$quit" = "quitting: OK" ] || { echo "FAIL: the quitting client was not served: $quit"; status=1; }
orphaned=$(servers)
if [ -z "$orphaned" ]; then
  echo "FAIL: no server runs after a client quit without releasing its object"
  status=1
else
  # A new client is served while the orphaned object is held, and when it releases its own object the server
  # stays: it still counts the orphan (its grace after a last release is 2 s, half a second more to leave).
  printf 'var r = new ActiveXObject("VarnokBaseline.FileReader");\nWScript.Echo("served: " + r.ReadData("x") + " " + r.NrRejestracyjny);\nr = null; CollectGarbage();\n' >"$out.js"
  run "$(cscript_host 32)" //nologo "$(win "$out.js")" >"$out" 2>&1 </dev/null
  answer=$(tr -d '\r' <"$out")
  echo "beside an orphaned object, $answer"
  [ "$answer" = "served: OK WA 12345" ] || { echo "FAIL: a new client is not served beside an orphaned object"; status=1; }
  tenths=$(wait_for_exit 40)
  if [ "$(servers)" != "$orphaned" ]; then
    echo "FAIL: the server left $(seconds "$tenths") s after its last live client released, while an object was still held"
    status=1
  else
    echo "a client that quit without releasing its object: the server stays for it (Wine never runs it down)"
  fi
fi
rm -f "$out" "$out.js"
exit $status
