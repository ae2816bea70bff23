#!/usr/bin/env bash
# Runs the full-disk case with a 64 KiB file system of its own as the result folder; skips it where this machine
# cannot mount one (no privilege).
# Usage: full-disk.sh <folder> <test program> [arguments...]
set -uo pipefail
disk=$1; shift
mkdir -p "$disk"
if ! mount -t tmpfs -o size=64k varnok-full-disk "$disk" 2>/dev/null; then
  echo "cannot mount a small file system here: the full-disk case is skipped"
  exec "$@"
fi
trap 'umount "$disk"' EXIT
VARNOK_FULL_DISK="Z:${disk//\//\\}" "$@"
