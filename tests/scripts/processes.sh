# Sourced by the test runners: live server processes found by their command line. The pattern (an extended
# regular expression) travels in the environment, so no helper process ever matches itself.

# Only processes of this checkout's Wine prefix count: other checkouts and users run the same programs on the
# machine, and a runner must neither wait for nor end those.
own_wineprefix=${WINEPREFIX:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/wineprefix}
in_own_prefix() { grep -qxF "WINEPREFIX=$own_wineprefix" < <(tr '\0' '\n' <"/proc/$1/environ" 2>/dev/null); }

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

# What a process of this prefix that should have ended is doing: its state, the CPU time it has used (a busy loop
# grows it, a deadlock does not), then the stacks of the Wine processes whose path matches the second argument
# (an awk pattern, default VarnokSrv) as winedbg sees them (our modules as module+offset, for addr2line).
describe_processes() {
  local pid name ticks
  for pid in $(process_ids "$1"); do
    name=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | cut -c1-160)
    ticks=$(awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null || echo '?')
    echo "process $pid ($name): state $(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null), CPU ${ticks} ticks" >&2
  done
  describe_stacks "${2:-VarnokSrv}"
}

describe_stacks() {
  command -v winedbg >/dev/null || return 0
  printf 'bt all\nquit\n' | WINEDEBUG=-all timeout 90 winedbg 2>&1 |
    awk -v p="$1" '/^Backtracing for thread/ {
                     mine = $0 ~ p && $0 !~ /(winedbg|explorer|services|plugplay|winedevice|svchost|start|WineIdle)\.exe/
                     frames = 0
                   }
                   mine && /^(Backtracing|=>| +[0-9]+ 0x)/ && frames++ < 16' | head -n 800 >&2
}

# Ends what an earlier run left of this prefix's processes matching the pattern, after saying what they were doing.
# The pattern must match only the programs to end (a server's "VarnokSrv.exe -Embedding"), never a test script
# whose arguments name the server.
end_leftovers() {
  local pids
  pids=$(process_ids "$1")
  [ -n "$pids" ] || return 0
  describe_processes "$1" "${2:-}"
  kill -9 $pids 2>/dev/null || true
  wait_for_no_process "$1" 50
  case $1 in *VarnokSrv*) forget_class_registrations ;; esac
}

# Wine's RPC service keeps the class objects of a process that was killed, not revoked, and sends every later
# activation to it (RPC_S_SERVER_UNAVAILABLE) until the service restarts: restart it.
forget_class_registrations() {
  local pids
  pids=$(process_ids 'rpcss\.exe')
  [ -n "$pids" ] || return 0
  kill -9 $pids 2>/dev/null || true
  wait_for_no_process 'rpcss\.exe' 50
  "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-run.sh" net start RpcSs >/dev/null 2>&1 </dev/null || true
}

# Before a test: a server of this prefix that an earlier test left (one that failed, and said so) is reported and
# ended, so that one failure does not fail every test after it.
start_clean() {
  wait_for_no_process "$1" && return 0
  echo "note: ending a process an earlier test left running:" >&2
  end_leftovers "$1"
}
