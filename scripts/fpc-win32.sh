#!/usr/bin/env bash
# Builds (once) a Free Pascal cross compiler for i386-win32 from Debian's own fpc source package, with the native
# fpc of the same version as bootstrap, and prints the folder it is in (bin/ppcross386, bin/importtl.exe,
# units/i386-win32). Later calls find it under build/fpc/<version> and print that at once.
# Only the compiler, the RTL and the units a COM client needs are built: Variants, ActiveX, ComObj and TypeLib.
# Win32 code goes through the compiler's internal assembler and linker, so no binutils are involved for it.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

version=$(dpkg-query -W -f '${Version}' fp-compiler-3.2.2 2>/dev/null) ||
  { echo "fpc-win32.sh: the native Free Pascal compiler (fp-compiler) is not installed" >&2; exit 1; }
prefix="$here/build/fpc/$version"
# One build at a time: a second caller waits for the first and then finds its result.
mkdir -p "$here/build/fpc"
exec 9>"$here/build/fpc/.lock"
flock 9
if [ -f "$prefix/complete" ]; then
  echo "$prefix"
  exit 0
fi

work="$here/build/fpc/work-$version"
rm -rf "$work" "$prefix"
mkdir -p "$work"
log="$work/build.log"
started=$(date +%s)
(
  cd "$work"
  # apt checks the files against the signed index of the deb-src entry.
  apt-get source --download-only "fpc=$version"
  dpkg-source -x "fpc_${version#*:}.dsc" src
) >>"$log" 2>&1 || { tail -20 "$log" >&2; echo "fpc-win32.sh: could not fetch the fpc $version source package" >&2; exit 1; }

src="$work/src/fpcsrc"
make_() { nice make -j2 "$@" >>"$log" 2>&1 || { tail -40 "$log" >&2; echo "fpc-win32.sh: failed, see $log" >&2; exit 1; }; }

# Debian ships the Makefile.fpc files only; its own rules generate the Makefiles with the installed fpcmake.
# Its rules also write the version the compiler reports.
echo "'$version'" >"$src/compiler/version.inc"
for dir in compiler rtl rtl/win32; do
  (cd "$src" && fpcmake -Tall -q "$dir/Makefile.fpc") >>"$log" 2>&1 ||
    { tail -20 "$log" >&2; echo "fpc-win32.sh: fpcmake failed on $dir" >&2; exit 1; }
done

# The bootstrap is the same release, so its installed RTL builds the cross compiler directly, skipping the
# native stages of the usual cycle.
make_ -C "$src/compiler" FPC=/usr/bin/ppcx64 OS_TARGET=linux CPU_TARGET=x86_64 PPC_TARGET=i386 \
      EXENAME=ppcross386 CROSSBINDIR= BINUTILSPREFIX= CROSSCYCLEBOOTSTRAP=1 compiler
make_ -C "$src/rtl" FPC="$src/compiler/ppcross386" CPU_TARGET=i386 OS_TARGET=win32 all

mkdir -p "$prefix/bin" "$prefix/units/i386-win32/rtl" "$prefix/units/i386-win32/packages"
cp "$src/compiler/ppcross386" "$prefix/bin/"
cp "$src/rtl/units/i386-win32/"* "$prefix/units/i386-win32/rtl/"

pkg="$src/packages"
ppc=("$prefix/bin/ppcross386" -n -Twin32 -Pi386 -Mobjfpc -O2 -Xs -Fu"$prefix/units/i386-win32/rtl"
     -FU"$prefix/units/i386-win32/packages"
     -Fu"$pkg/rtl-objpas/src/inc" -Fi"$pkg/rtl-objpas/src/inc" -Fu"$pkg/rtl-objpas/src/win" -Fi"$pkg/rtl-objpas/src/win"
     -Fu"$pkg/winunits-base/src" -Fi"$pkg/winunits-base/src"
     -Fu"$pkg/fcl-base/src" -Fi"$pkg/fcl-base/src" -Fu"$pkg/fcl-registry/src" -Fi"$pkg/fcl-registry/src"
     -Fu"$pkg/rtl-extra/src/inc" -Fi"$pkg/rtl-extra/src/inc" -Fu"$pkg/rtl-extra/src/win" -Fi"$pkg/rtl-extra/src/win")
for unit in "$pkg/rtl-objpas/src/inc/variants.pp" "$pkg/winunits-base/src/activex.pp" \
            "$pkg/winunits-base/src/comobj.pp" "$pkg/winunits-base/src/typelib.pas"; do
  nice "${ppc[@]}" "$unit" >>"$log" 2>&1 || { tail -40 "$log" >&2; echo "fpc-win32.sh: failed on $unit, see $log" >&2; exit 1; }
done
nice "${ppc[@]}" -FE"$prefix/bin" "$src/utils/importtl/importtl.pas" >>"$log" 2>&1 ||
  { tail -40 "$log" >&2; echo "fpc-win32.sh: failed on importtl, see $log" >&2; exit 1; }

echo "$(( $(date +%s) - started )) s to build fpc $version for i386-win32" >"$prefix/complete"
rm -rf "$work"
echo "$prefix"
