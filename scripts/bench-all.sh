#!/usr/bin/env bash
# Every benchmark in turn, each printing its figures (docs/performance.md says what each measures); asserts
# nothing and is no part of the test command. Run it on an idle machine, or state the load with its figures.
#   scripts/bench-all.sh [quick]   (quick: the short variants the test command used to run, native and batch tool)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$here/scripts/host.sh"
win_build=$(host_build_dir "$VARNOK_WIN_BITS")  # the build under test on this host
quick=${1:-}
"$here/scripts/install-deps.sh"
echo "== load before: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores)"

echo "== Decoder benchmark (native)"
"$here/scripts/bench.sh" 3

echo "== Batch tool benchmark (Wine)"
"$here/scripts/build.sh" VarnokScan VarnokImageWorker azteccodeQELM WineIdle >/dev/null
(
  source "$here/scripts/wine-session.sh"
  wine_session_begin
  trap wine_session_end EXIT
  "$here/scripts/bench-scan.sh" 1
)

if [ "$quick" != quick ]; then
  echo "== COM benchmark (Wine)"
  "$here/scripts/bench-com.sh" 2000
  echo "== Hostile PDF files"
  "$here/scripts/pdf-bench.sh"
  echo "== Aztec reader"
  "$here/scripts/aztec-bench.sh"
fi
echo "== load after: $(cut -d' ' -f1-3 /proc/loadavg)"
