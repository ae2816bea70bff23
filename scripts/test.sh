#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: native unit tests under the address and
# undefined-behaviour sanitizers (also as 32-bit x86 code), a bounded fuzz run, and the Windows tests and COM
# clients under Wine. Exits non-zero on any failure. Benchmarks are not run here: scripts/bench-all.sh.
#
# What runs where depends on the host (scripts/host.sh says which it is, in the first lines):
#   runs 32-bit code:       the whole Wine suite on the 32-bit build, and a slice of it on the 64-bit build;
#   64-bit user code only:  the whole Wine suite on the 64-bit build (its 32-bit clients under qemu-user), and a
#                           slice on the 32-bit build under 32-bit Wine through qemu-user; the 32-bit tree and
#                           fuzzers under qemu-user too (the tree without its five longest exhaustive cases).
# VARNOK_HOST_64_ONLY=1 takes the second path on a host of the first kind. Every Wine group runs on one build or
# the other on either kind of host; docs/testing.md lists the slices.
# The host's own Windows build comes first; then its Wine suite, two jobs at a time (ctest -j2; tests that share the
# Wine prefix's server take a lock instead of running alone, tests/CMakeLists.txt), with three jobs beside it at a
# lower priority: the native tree and the fuzzers, the 32-bit tree, the other build and its slice.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$here/scripts/host.sh"
host_describe
"$here/scripts/install-deps.sh"
mkdir -p "$here/build"
started=$(date +%s)
# The machine's processor time (every process, all cores) in seconds, and a job's own (its finished children).
machine_cpu() { awk '/^cpu /{ printf "%d", ($2 + $3 + $4 + $7 + $8) / 100 }' /proc/stat; }
# `times` counts for the shell it runs in: not in a pipe or $(...), shells of their own. Prints "<1> N s<2>".
job_cpu() {
  local file="$here/build/.times.$BASHPID"
  times >"$file"
  awk -v before="$1" -v after="${2:-}" 'END { split($1, u, /[ms]/); split($2, s, /[ms]/)
    printf "%s %d s%s\n", before, u[1] * 60 + u[2] + s[1] * 60 + s[2], after }' "$file"
  rm -f "$file"
}
cpu_started=$(machine_cpu)
step() {
  echo "== $1 ($(( $(date +%s) - started )) s in, $(( $(machine_cpu) - cpu_started )) s of processor time;" \
       "load $(cut -d' ' -f1-3 /proc/loadavg))"
}

main_bits=$VARNOK_WIN_BITS
slice_bits=$((96 - main_bits))
# The slices: what the other build must show on its own. The 64-bit one: registration in both views, 32-bit and
# 64-bit clients of the 64-bit server, the decoder and the image worker. The 32-bit one (emulated, so slower): the
# type library and registration, ReadData, ReadCodetData with our decoder, an image through the worker, a 32-bit
# JScript client, and the guides, which describe the 32-bit packages.
slice_64='^(typelib|register_server|registration|reader_clients|codet_data|decoder_library|decoder_payloads|image_reader|image_reader_races|script_client_32|script_client_64|lifecycle|diagnose|example_cpp_32|example_cpp_64)$'
slice_32='^(typelib|register_server|registration|reader_clients|codet_data|decoder_payloads|image_reader|image_reader_races|script_client_32|example_read-image\.js_32|guides)$'
slice=$slice_32; [ "$slice_bits" = 64 ] && slice=$slice_64

finish() {
  wine_session_end 2>/dev/null || true
  host_end_emulation
}
trap finish EXIT
if [ "$VARNOK_HOST_KIND" = x64-only ]; then
  host_emulate_ia32 || { echo "The 32-bit half of the tests needs qemu-user registered with binfmt_misc (root or sudo)."; exit 1; }
  echo "32-bit x86 code runs under $(readlink -f "$host_qemu") ($("$host_qemu" --version | head -n 1))."
fi

# The Free Pascal cross compiler (for the Delphi example) needs only the packages: built in the background from
# the start, so that the Windows build does not wait for it at its end. A later call finds it at once.
"$here/scripts/fpc-win32.sh" >"$here/build/fpc-win32.log" 2>&1 &
fpc=$!

sanitizers="-fsanitize=address,undefined,float-cast-overflow -fno-omit-frame-pointer -fno-sanitize-recover=all"
# The native tree, then the fuzzers; run beside the Wine tests, like the 32-bit tree.
native_and_fuzz() {
  set -e
  echo "== Native unit tests"
  cmake -S "$here" -B "$here/build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="$sanitizers" >/dev/null
  ninja -C "$here/build/native"
  (cd "$here/build/native" && ctest --output-on-failure -j2)
  grep -h '^noise: ' "$here/build/native/Testing/Temporary/LastTest.log"  # the false-read slice's count
  echo "== Fuzzing (${VARNOK_FUZZ_SECONDS} s)"
  if ! "$here/scripts/fuzz.sh" "$VARNOK_FUZZ_SECONDS" >"$here/build/fuzz.log" 2>&1; then
    tail -n 80 "$here/build/fuzz.log"
    return 1
  fi
  grep -E '^(== |Done|reading_fuzz: |stat::(number_of_executed_units|new_units_added|peak_rss_mb))' "$here/build/fuzz.log"
  job_cpu "processor time:"
}
native32() {
  set -e
  echo "== Native unit tests, 32-bit x86 (the Windows target's sizes)$([ "$VARNOK_HOST_KIND" = x64-only ] && echo ', under qemu-user')"
  cmake -S "$here" -B "$here/build/native32" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_TOOLCHAIN_FILE="$here/cmake/native-i686.cmake" -DCMAKE_CXX_FLAGS="$native32_sanitizers" >/dev/null
  ninja -C "$here/build/native32"
  [ -z "${native32_filter:-}" ] || echo "GTEST_FILTER=$native32_filter (these run in the native tree)"
  [ -z "${native32_noise:-}" ] || echo "VARNOK_NOISE_COUNT=$native32_noise (of the false-read corpus; 200 in the native tree)"
  # The guides do not depend on the word size: guide_test runs once, in the native tree.
  (cd "$here/build/native32" && env GTEST_FILTER=${native32_filter:-*} ${native32_noise:+VARNOK_NOISE_COUNT=$native32_noise} \
     ctest --output-on-failure -j2 -E '^guide_test$')
  job_cpu "processor time:"
}
: "${VARNOK_FUZZ_SECONDS:=60}"
native32_sanitizers=$sanitizers
native32_filter=
if [ "$VARNOK_HOST_KIND" = x64-only ]; then
  # A 32-bit AddressSanitizer program never gets past its start under qemu-user (it spins): UBSan alone there. And
  # optimised (-O1: GCC 12's -O2 warns falsely in libstdc++ here), since the emulator's cost is per instruction:
  # the tree's tests took 25 min unoptimised on a loaded machine, 2 min 43 s so on an idle one.
  native32_sanitizers="-O1 -fsanitize=undefined,float-cast-overflow -fno-omit-frame-pointer -fno-sanitize-recover=all"
  # Five exhaustive cases took 340 of the emulated tree's 1,120 test seconds (a loaded run): they run in the native
  # tree, under ASan, and whole in the 32-bit tree wherever the host runs 32-bit code itself.
  native32_filter="-AztecEncodation.EverySwitchFromBothEncoders:AztecReader.InkSpreadBothWays"
  native32_filter+=":ScannerInput.DamagedPayloadsAreNeverCorrectedIntoASuccess:PdfBuilt.HostileFilesEndWithinTheBudget"
  native32_filter+=":AztecReader.NestedSquaresEndCleanly"
  # The false-read corpus: 60 of its 200 images (95 s of the emulator's processor time for all 200, 48 for 100).
  native32_noise=60
fi

step "Windows build (${main_bits}-bit)"
if ! wait "$fpc"; then
  tail -n 40 "$here/build/fpc-win32.log"
  exit 1
fi
"$here/scripts/build.sh" --bits "$main_bits"

# Beside the Wine tests, three jobs at once: the native tree and then the fuzzers; the 32-bit tree; the other build
# and then its slice (in its own prefix, so that nothing it starts touches the regional settings of the prefix under
# test). The Wine tests spend most of their time waiting for Wine (servers leaving when idle, clients racing them),
# and their timing matters: the jobs beside them run at a lower priority and take the processor time they leave.
# Where the host runs no 32-bit code the 32-bit build is made for its slice only; `scripts/build.sh --bits 32` makes
# its packages.
slice_targets=()
[ "$slice_bits" = 32 ] && slice_targets=(VarnokSrv VarnokImageWorker VarnokScan azteccodeQELM test_decoder WineIdle
                                         KitTool TypeLibraryTest RegistrationTest FileReaderTest CodetDataTest
                                         DecoderPayloadTest ImageReaderTest packages)
slice_and_its_build() {
  set -e
  echo "== The ${slice_bits}-bit build"
  if ! WINEPREFIX=$(host_prefix "$slice_bits") "$here/scripts/build.sh" --bits "$slice_bits" "${slice_targets[@]}" \
       >"$here/build/slice-build.log" 2>&1; then
    tail -n 40 "$here/build/slice-build.log"
    echo "The ${slice_bits}-bit build failed."
    return 1
  fi
  job_cpu "the ${slice_bits}-bit build's processor time:"
  echo "== A slice of the tests under Wine on the ${slice_bits}-bit build ($(( $(date +%s) - started )) s in)"
  trap wine_session_end EXIT
  wine_session_begin "$slice_bits"
  # Emulated, every server and worker start takes seconds: fewer clients race the idle shutdown there (each starts
  # a server), and a command gets longer before it counts as hung.
  local slice_env=()
  [ "$VARNOK_HOST_KIND" = x64-only ] && slice_env=(VARNOK_IDLE_RACES=5 VARNOK_COMMAND_SECONDS=400)
  cd "$(host_build_dir "$slice_bits")"
  local status=0
  env "${slice_env[@]}" ctest --output-on-failure -j2 --timeout 900 -R "$slice" || status=$?
  # Wine's own server is no child of the job's: its share is in the machine's figure only.
  job_cpu "processor time:" ", without Wine's server"
  return "$status"
}
source "$here/scripts/wine-session.sh"
step "Tests under Wine on the ${main_bits}-bit build; beside them the native tree and the fuzzers, the 32-bit tree, and the ${slice_bits}-bit build and its slice"
(renice -n 10 $BASHPID >/dev/null; native_and_fuzz) >"$here/build/native-fuzz.log" 2>&1 &
native_job=$!
(renice -n 10 $BASHPID >/dev/null; native32) >"$here/build/native32.log" 2>&1 &
native32_job=$!
(renice -n 5 $BASHPID >/dev/null; slice_and_its_build) >"$here/build/slice.log" 2>&1 &
slice_job=$!
wine_session_begin "$main_bits"
wine_status=0
# The kit's own test runs a third of each suite's tests: the suites run whole in their own groups.
(cd "$(host_build_dir "$main_bits")" && VARNOK_KIT_SHARDS=3 ctest --output-on-failure -j2 --timeout 300) ||
  wine_status=$?
wine_session_end

slice_status=0
wait "$slice_job" || slice_status=$?

# A job's summary lines, or the end of its log when it failed.
report() {  # name, exit code, log, summary pattern
  step "$1 (exit code $2)"
  if [ "$2" -eq 0 ]; then grep -E "$4" "$3" || true; else tail -n 150 "$3"; fi
}
tests_summary='^(== |GTEST_FILTER=|VARNOK_NOISE_COUNT=|noise: |(the [0-9]+-bit build.s )?processor time: |[0-9]+/[0-9]+ Test|[0-9]+% tests passed|Total Test time)'
native_status=0
wait "$native_job" || native_status=$?
report "The native tree and the fuzzers" "$native_status" "$here/build/native-fuzz.log" \
       "$tests_summary|^(Done|reading_fuzz: |stat::(number_of_executed_units|new_units_added|peak_rss_mb))"
native32_status=0
wait "$native32_job" || native32_status=$?
report "The 32-bit tree" "$native32_status" "$here/build/native32.log" "$tests_summary"
report "A slice of the tests under Wine on the ${slice_bits}-bit build" "$slice_status" "$here/build/slice.log" \
       "$tests_summary"
[ "$native_status" -eq 0 ] || { echo "The native tree or the fuzzers failed."; exit 1; }
[ "$native32_status" -eq 0 ] || { echo "The 32-bit tree failed."; exit 1; }
[ "$wine_status" -eq 0 ] || { echo "The ${main_bits}-bit build's Wine tests failed."; exit "$wine_status"; }
[ "$slice_status" -eq 0 ] || { echo "The ${slice_bits}-bit build's slice failed."; exit "$slice_status"; }
step "Done"
