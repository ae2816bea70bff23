# Sourced by the test runners: live server processes found by their command line. The pattern (an extended
# regular expression) travels in the environment, so no helper process ever matches itself.

# Only processes of this checkout's Wine prefix count: other checkouts and users run the same programs on the
# machine, and a runner must neither wait for nor end those.
own_wineprefix=${WINEPREFIX:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/wineprefix}
in_own_prefix() { tr '\0' '\n' <"/proc/$1/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$own_wineprefix"; }

# PIDs of live processes of this prefix whose command line matches the pattern.
process_ids() {
  local pid
  for pid in $(ps -eo pid=,stat=,args= | PATTERN=$1 awk '$2 !~ /^Z/ && $0 ~ ENVIRON["PATTERN"] { print $1 }'); do
    if in_own_prefix "$pid"; then echo "$pid"; fi
  done
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
