#!/usr/bin/env bash
# Installs the cross toolchain, Wine and the locales the build and tests need (Debian 12, run as root or via sudo).
set -euo pipefail

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

packages=(wine wine64 wine32:i386 libwine-dev mingw-w64-tools
          g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32
          cmake ninja-build googletest locales procps g++
          libucl-dev clang libclang-rt-14-dev wixl libstb-dev zint zxing-cpp-tools imagemagick osslsigncode openssl mono-mcs
          libz-mingw-w64-dev zlib1g-dev gcc-multilib g++-multilib lib32z1-dev libucl-dev:i386 img2pdf libtiff-tools qpdf poppler-utils ghostscript
          dpkg-dev libreoffice-calc-nogui python3-openpyxl python3-markdown fp-compiler fp-utils webp)

# Debian's source packages of the same suite: scripts/build-xlsxwriter.sh and scripts/fpc-win32.sh build two of
# them for Windows.
sources=/etc/apt/sources.list.d/varnok-src.sources
need_update=0
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$suite" | $SUDO tee "$sources" >/dev/null
  need_update=1
fi

# dpkg-query rather than `dpkg -s`, which refuses a name installed for two architectures (libucl-dev beside
# libucl-dev:i386) and so had apt run on every call.
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f '${db:Status-Abbrev}\n' "$p" 2>/dev/null | grep -q '^ii' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ] || [ "$need_update" -eq 1 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -q
  [ ${#missing[@]} -eq 0 ] ||
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# 32-bit x86 code under emulation, for hosts that run 64-bit user code only (scripts/host.sh). Bookworm's own
# qemu-user (7.2) walks its page table across the whole 4 GB at every mapping: a 32-bit Wine program took 50 s to
# start with it, 1.3 s with the backports' release (10.0).
if ! /usr/bin/qemu-i386 --version 2>/dev/null | grep -qE 'version (9|[1-9][0-9])\.'; then
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  release=()
  if [ "$suite" = bookworm ]; then
    backports=/etc/apt/sources.list.d/varnok-backports.sources
    if [ ! -f "$backports" ]; then
      printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: %s-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$suite" | $SUDO tee "$backports" >/dev/null
      $SUDO apt-get update -q
    fi
    release=(-t "$suite-backports")
  fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${release[@]}" qemu-user
fi

# Polish regional settings drive the server's code page and number/date formats under Wine.
need_gen=0
for loc in pl_PL.UTF-8 en_US.UTF-8; do
  if ! locale -a 2>/dev/null | grep -qix "${loc/UTF-8/utf8}"; then
    $SUDO sed -i "s/^# *\(${loc} UTF-8\)/\1/" /etc/locale.gen
    need_gen=1
  fi
done
[ "$need_gen" -eq 0 ] || $SUDO locale-gen >/dev/null
