#!/usr/bin/env bash
# Runs a command with our decoder library beside the server instead of the scripted one, and puts the scripted
# one back afterwards. A loaded library stays loaded until its process ends, so no server may run across a swap.
# The command gets VARNOK_COMMAND_SECONDS (default 240) to finish; a command that hangs is reported with what its
# server was doing, and nothing it leaves running reaches the next test.
# Usage: with-our-decoder.sh <server folder> <our library> <scripted library> <command> [arguments...]
set -uo pipefail
server_dir=$1 ours=$2 scripted=$3
shift 3

source "$(dirname "${BASH_SOURCE[0]}")/scripts/processes.sh"
server='VarnokSrv\.exe -Embedding'
start_clean "$server"
cp "$ours" "$server_dir/azteccodeQELM.dll" || exit 1

timeout --kill-after=10 "${VARNOK_COMMAND_SECONDS:-240}" "$@"
status=$?
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  echo "FAIL: the command did not finish in ${VARNOK_COMMAND_SECONDS:-240} s; the server:" >&2
  end_leftovers "$server"
fi
if ! wait_for_no_process "$server"; then
  echo "FAIL: the server did not leave after its clients:" >&2
  end_leftovers "$server"
  status=1
fi
cp "$scripted" "$server_dir/azteccodeQELM.dll" || status=1
exit "$status"
