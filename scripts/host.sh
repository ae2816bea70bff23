#!/usr/bin/env bash
# Sourced by every script that starts Windows or 32-bit x86 programs: the one place that knows what this host runs.
#
# Some kernels run 64-bit user code only (IA-32 emulation off: every i386 ELF gives "Exec format error"). There the
# whole Wine suite runs on the x86-64 build, with 64-bit Wine started directly, and 32-bit code (the i686 Linux
# tree, 32-bit Wine for the 32-bit build's slice and for 32-bit clients) runs under qemu-user, registered with
# binfmt_misc. VARNOK_HOST_64_ONLY=1 makes a host that runs 32-bit code act as one that does not.
#
# After host_detect (run on sourcing), exported so that child scripts and tests need not probe again:
#   VARNOK_HOST_KIND   ia32: the host runs 32-bit x86 code itself; x64-only: it does not (or is told to act so)
#   VARNOK_WIN_BITS    the word size of the Windows build the whole Wine suite and the main job run on: 32 or 64
#   VARNOK_WINE        the Wine loader that starts a Windows program of either word size
varnok_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# The binfmt_misc entry this project registers for i386 ELF files (platform notes: magic and mask of an i386
# executable or shared object).
host_binfmt_dir=/proc/sys/fs/binfmt_misc
host_binfmt_name=varnok-i386
host_qemu=/usr/bin/qemu-i386

host_sudo() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo -n "$@"; fi; }

# The smallest i386 Linux program: exit(42). Written by hand, so that probing needs no 32-bit compiler.
host_probe_file() {
  local file=$1
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08'\
'\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'\
'\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$file"
  chmod +x "$file"
}

# The enabled binfmt_misc entries that hand i386 executables to an emulator.
host_i386_entries() {
  local entry
  [ -d "$host_binfmt_dir" ] || return 0
  for entry in "$host_binfmt_dir"/*; do
    [ -f "$entry" ] && [ "${entry##*/}" != register ] && [ "${entry##*/}" != status ] || continue
    grep -qx enabled "$entry" 2>/dev/null || continue
    grep -q '^magic 7f454c46010101000000000000000000020003' "$entry" 2>/dev/null && echo "$entry"
  done
}

# Whether the kernel itself runs 32-bit x86 code. An emulator entry would answer for it, so any is switched off
# for the probe and on again after it.
host_runs_ia32_natively() {
  local probe status=0 entries entry
  probe=$(mktemp "${TMPDIR:-/tmp}/varnok-ia32.XXXXXX")
  host_probe_file "$probe"
  entries=$(host_i386_entries)
  for entry in $entries; do echo 0 | host_sudo tee "$entry" >/dev/null 2>&1 || true; done
  "$probe" 2>/dev/null || status=$?
  for entry in $entries; do echo 1 | host_sudo tee "$entry" >/dev/null 2>&1 || true; done
  rm -f "$probe"
  [ "$status" -eq 42 ]
}

host_detect() {
  if [ -z "${VARNOK_HOST_KIND:-}" ]; then
    if [ "${VARNOK_HOST_64_ONLY:-0}" = 1 ] || ! host_runs_ia32_natively; then
      VARNOK_HOST_KIND=x64-only
    else
      VARNOK_HOST_KIND=ia32
    fi
  fi
  if [ "$VARNOK_HOST_KIND" = ia32 ]; then
    VARNOK_WIN_BITS=${VARNOK_WIN_BITS:-32}
    # Debian's wrapper: the 32-bit loader, which hands 64-bit programs to the 64-bit one.
    VARNOK_WINE=wine
  else
    VARNOK_WIN_BITS=${VARNOK_WIN_BITS:-64}
    # The 64-bit loader itself, since the wrapper prefers the 32-bit one whenever it is installed; WINELOADER
    # tells it where its 32-bit twin is (without the "64"), for the 32-bit programs it starts under emulation.
    VARNOK_WINE=/usr/lib/wine/wine64
    export WINELOADER=/usr/lib/wine/wine64
  fi
  export VARNOK_HOST_KIND VARNOK_WIN_BITS VARNOK_WINE
}

# One line for the first lines of the test command and the main job.
host_describe() {
  case "$VARNOK_HOST_KIND" in
    ia32) echo "Host: runs 32-bit x86 code itself; Windows build under test: ${VARNOK_WIN_BITS}-bit." ;;
    *) if [ "${VARNOK_HOST_64_ONLY:-0}" = 1 ] && host_runs_ia32_natively; then
         echo "Host: runs 32-bit x86 code but acts as one that runs 64-bit code only (VARNOK_HOST_64_ONLY=1);" \
              "Windows build under test: ${VARNOK_WIN_BITS}-bit, 32-bit code under qemu-user."
       else
         echo "Host: runs 64-bit user code only (no IA-32 emulation in its kernel); Windows build under test:" \
              "${VARNOK_WIN_BITS}-bit, 32-bit code under qemu-user."
       fi ;;
  esac
}

# Whether 32-bit x86 programs run here now, natively or through an emulator entry.
host_runs_ia32() {
  local probe status=0
  probe=$(mktemp "${TMPDIR:-/tmp}/varnok-ia32.XXXXXX")
  host_probe_file "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ]
}

# On a host that runs no 32-bit code (or acts so), hands i386 executables to qemu-user; needs root or sudo.
# Returns 1, having said why, when that cannot be done. host_end_emulation removes an entry made here for a host
# that could run the code itself, which the entry would otherwise slow down for everyone.
host_emulate_ia32() {
  [ "$VARNOK_HOST_KIND" = x64-only ] || return 0
  if [ -f "$host_binfmt_dir/$host_binfmt_name" ]; then
    echo 1 | host_sudo tee "$host_binfmt_dir/$host_binfmt_name" >/dev/null 2>&1 || true
  else
    if [ ! -x "$host_qemu" ]; then
      echo "32-bit code cannot run here: $host_qemu is missing (scripts/install-deps.sh installs it)." >&2
      return 1
    fi
    if [ ! -f "$host_binfmt_dir/register" ]; then
      host_sudo mount -t binfmt_misc binfmt_misc "$host_binfmt_dir" 2>/dev/null || {
        echo "32-bit code cannot run here: binfmt_misc could not be mounted on $host_binfmt_dir (needs root or" \
             "sudo)." >&2
        return 1
      }
    fi
    # F: the kernel opens the emulator now, so it also serves programs started in other mount namespaces.
    printf '%s' ":$host_binfmt_name:M::"'\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:'\
'\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$host_qemu:FP" |
      host_sudo tee "$host_binfmt_dir/register" >/dev/null 2>&1 || {
        echo "32-bit code cannot run here: the qemu-user entry could not be registered with binfmt_misc (needs" \
             "root or sudo)." >&2
        return 1
      }
    [ "${VARNOK_HOST_64_ONLY:-0}" = 1 ] && VARNOK_BINFMT_MADE_HERE=1
  fi
  host_runs_ia32 || { echo "32-bit code does not run here even under $host_qemu." >&2; return 1; }
}

host_end_emulation() {
  if [ "${VARNOK_BINFMT_MADE_HERE:-0}" = 1 ] && [ -f "$host_binfmt_dir/$host_binfmt_name" ]; then
    echo -1 | host_sudo tee "$host_binfmt_dir/$host_binfmt_name" >/dev/null 2>&1 || true
  fi
}

# The build folder and the Wine prefix of a word size: each build registers its server in a prefix of its own.
host_build_dir() { echo "$varnok_root/build/win$1"; }
host_prefix() { if [ "$1" = 32 ]; then echo "$varnok_root/build/wineprefix"; else echo "$varnok_root/build/wineprefix64"; fi; }
host_toolchain() { if [ "$1" = 32 ]; then echo "$varnok_root/cmake/mingw-i686.cmake"; else echo "$varnok_root/cmake/mingw-x86_64.cmake"; fi; }

host_detect
