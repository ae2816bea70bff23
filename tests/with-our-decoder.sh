#!/usr/bin/env bash
# Runs a command with our decoder library beside the server instead of the scripted one, and puts the scripted
# one back afterwards. A loaded library stays loaded until its process ends, so no server may run across a swap.
# Usage: with-our-decoder.sh <server folder> <our library> <scripted library> <command> [arguments...]
set -euo pipefail
server_dir=$1 ours=$2 scripted=$3
shift 3

source "$(dirname "${BASH_SOURCE[0]}")/scripts/processes.sh"
wait_for_no_server() {
  wait_for_no_process 'VarnokSrv\.exe' || { echo "a server process is still running" >&2; return 1; }
}

wait_for_no_server
cp "$ours" "$server_dir/azteccodeQELM.dll"
restore() { wait_for_no_server || true; cp "$scripted" "$server_dir/azteccodeQELM.dll"; }
trap restore EXIT
"$@"
