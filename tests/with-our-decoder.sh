#!/usr/bin/env bash
# Runs a command with our decoder library beside the server instead of the scripted one, and puts the scripted
# one back afterwards. A loaded library stays loaded until its process ends, so no server may run across a swap.
# The command gets VARNOK_COMMAND_SECONDS (default 200) to finish: then the stacks winedbg sees of the prefix's
# programs (client, server, rpcss) are printed while they still hang, the command is ended, and nothing it left
# running reaches the next test.
# Usage: with-our-decoder.sh <server folder> <our library> <scripted library> <command> [arguments...]
set -uo pipefail
server_dir=$1 ours=$2 scripted=$3
shift 3
limit=${VARNOK_COMMAND_SECONDS:-200}

source "$(dirname "${BASH_SOURCE[0]}")/scripts/processes.sh"
server='VarnokSrv\.exe -Embedding'
start_clean "$server"
cp "$ours" "$server_dir/azteccodeQELM.dll" || exit 1

timeout --kill-after=10 $((limit + 120)) "$@" &
command=$!
# Ended from outside (ctest's own limit): the command goes too, and the scripted library goes back.
trap 'kill "$command" 2>/dev/null; cp "$scripted" "$server_dir/azteccodeQELM.dll"; exit 143' TERM INT
(
  for ((second = 0; second < limit; second++)); do
    sleep 1
    kill -0 "$command" 2>/dev/null || exit 0
  done
  echo "FAIL: the command still runs after $limit s; what the programs of this Wine prefix are doing:" >&2
  describe_processes "$server" '\.exe'
  kill "$command" 2>/dev/null
) &
watchdog=$!
wait "$command"
status=$?
wait "$watchdog"
# An idle server is asked to leave at once, as an uninstall asks, rather than waited for through its grace period;
# a server that still holds a client's object stays, and fails below.
tool="$server_dir/tests/KitTool.exe"
[ -f "$tool" ] && "$(dirname "${BASH_SOURCE[0]}")/../scripts/wine-run.sh" "$tool" ask-to-leave \
    "Z:$(printf '%s' "$server_dir/VarnokSrv.exe" | tr / '\\')" >/dev/null 2>&1 </dev/null
if ! wait_for_no_process "$server"; then
  echo "FAIL: a server was still running after the command:" >&2
  end_leftovers "$server"
  status=1
fi
cp "$scripted" "$server_dir/azteccodeQELM.dll" || status=1
exit "$status"
