# Sourced by the test runners: live server processes found by their command line. The pattern (an extended
# regular expression) travels in the environment, so no helper process ever matches itself.

# The Wine prefix whose processes are ours: other checkouts and other users on the machine run their own.
: "${WINEPREFIX:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/wineprefix}"

# PIDs of live processes of our Wine prefix whose command line matches the pattern.
process_ids() {
  local pid
  ps -eo pid=,stat=,args= | PATTERN=$1 awk '$2 !~ /^Z/ && $0 ~ ENVIRON["PATTERN"] { print $1 }' |
    while read -r pid; do
      tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
    done
  return 0
}

process_count() { process_ids "$1" | wc -l; }

# Waits up to the given tenths of a second (default 100) for no such process; fails if one is left.
wait_for_no_process() {
  local _
  for _ in $(seq "${2:-100}"); do
    [ "$(process_count "$1")" -eq 0 ] && return 0
    sleep 0.1
  done
  return 1
}

# The pattern that matches exactly this text (a Windows path, say).
literal_pattern() { printf '%s' "$1" | sed 's/[][\\.*^$()+?{}|]/\\&/g'; }
