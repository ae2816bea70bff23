#!/usr/bin/env bash
# Installs and removes the packages in a Wine prefix of their own: the MSI for all users (install, reinstall,
# repair, upgrade to a newer version, uninstall, and without the decoder library), the per-user MSI and the zip's
# register.cmd / unregister.cmd (both scopes). An example client must work while installed, and every removal
# must leave the registry (HKLM\Software, HKCU\Software) and the disk as they were before.
# The packages of either build: the 32-bit ones (VarnokSrv-<version>*) or the 64-bit ones (VarnokSrv-<version>-x64*),
# which install into the 64-bit Program Files under a product name of their own.
# Usage: package-test.sh <packages folder> <newer MSI of the same product> <examples folder>
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
packages=$(realpath "$1"); newer=$(realpath "$2"); examples=$(realpath "$3")
name=$(basename "$packages"/VarnokSrv-*-user.msi -user.msi)
version=${name#VarnokSrv-}; version=${version%-x64}
if [ "$name" = "VarnokSrv-$version-x64" ]; then
  bits=64 product="VarnokSrv (64-bit)" program_files='Program Files' compiler=x86_64-w64-mingw32-g++
else
  bits=32 product=VarnokSrv program_files='Program Files (x86)' compiler=i686-w64-mingw32-g++
fi

export WINEPREFIX="$packages/wineprefix"
# No menu entries of the desktop's own: Wine would mirror the packages' Start menu into the machine's home folder.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" LANG=pl_PL.UTF-8
unset DISPLAY
source "$here/tests/scripts/cscript-common.sh"
wine() { "$here/scripts/wine-run.sh" "$@"; }
work=$(mktemp -d /tmp/varnok-packages.XXXXXX)
failures=0

rm -rf "$WINEPREFIX"
WINEARCH=win64 wine wineboot -i >/dev/null 2>&1; wineserver -w
wine "$packages/../tests/WineIdle.exe" >/dev/null 2>&1 </dev/null &
idle=$!
finish() { kill "$idle" 2>/dev/null || true; wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap finish EXIT
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
wine net start RpcSs >/dev/null 2>&1 </dev/null || true

drive_c="$WINEPREFIX/drive_c"
machine_dir="$drive_c/$program_files/VarnokSrv"
profile=$(find "$drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
user_dir="$profile/AppData/Local/VarnokSrv"

pass() { echo "ok   $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }

# The registry sections as text, one block per key, without Wine's display-driver noise.
snapshot() {
  wine regedit /E "$(win "$work/hklm.reg")" 'HKEY_LOCAL_MACHINE\Software'
  wine regedit /E "$(win "$work/hkcu.reg")" 'HKEY_CURRENT_USER\Software'
  cat "$work/hklm.reg" "$work/hkcu.reg" | iconv -f utf-16 -t utf-8 | tr -d '\r' |
      awk 'BEGIN { RS = ""; ORS = "\n\n" } !/^Windows Registry/' >"$work/$1.txt"
}

# Windows Installer keeps its own empty folders for products once it has installed one; they hold nothing of ours.
same_registry() {
  snapshot after
  # (64-bit packages: also its bookkeeping under CurrentVersion\Installer, per machine and per user.)
  local installer='^\[HKEY_(LOCAL_MACHINE|CURRENT_USER)\\Software\\((Classes\\Installer|Microsoft\\Installer)(\\(Features|Products|UpgradeCodes|Components))?'
  installer+='|Microsoft\\Windows\\CurrentVersion\\Installer(\\(UpgradeCodes|UserData(\\S-1-5-[0-9-]+(\\(Components|Products))?)?))?)\]$'
  if diff <(grep -Ev "$installer" "$work/$1.txt" | cat -s) <(grep -Ev "$installer" "$work/after.txt" | cat -s) \
          >"$work/diff.txt"; then
    return 0
  fi
  head -n 40 "$work/diff.txt"
  return 1
}

source "$here/tests/scripts/processes.sh"
# This prefix's installed servers, not the ones other tests run from the build folder.
wait_for_no_server() { wait_for_no_process '(Program Files|AppData|VarnokSrv-zip).*VarnokSrv\.exe'; }

# run_client <32|64> <client file> <input file>: prints what the client prints, as UTF-8 without CR. Output goes
# through a file: a server started by the client inherits its handles and would hold a pipe open.
run_client() {
  local bits=$1 client=$2 input=$3
  case "$client" in
    *.exe) wine "$client" "$(win "$input")" "$(win "$work")" >"$work/raw.txt" 2>&1 || true
           tr -d '\r' <"$work/raw.txt" ;;
    *) wine "$(cscript_host "$bits")" //nologo "$(win "$client")" "$(win "$input")" "$(win "$work")" \
           >"$work/raw.txt" 2>&1 || true
       iconv -f cp852 -t utf-8 <"$work/raw.txt" | tr -d '\r' ;;
  esac
}
reads() {  # reads <expected line> <client arguments...>
  local expected=$1; shift
  run_client "$@" >"$work/client.txt" || true
  # Wine does not retry an activation that meets the idle server revoking its classes (Windows does): a client
  # that starts just as the server's grace ends is told the object cannot be created. Said, and tried once more.
  if grep -q "cannot be created" "$work/client.txt"; then
    echo "     (the activation met the server's idle shutdown: $(head -n 1 "$work/client.txt"); once more)"
    sleep 1
    run_client "$@" >"$work/client.txt" || true
  fi
  grep -qxF "$expected" "$work/client.txt" || { cat "$work/client.txt"; return 1; }
}
says() {  # says <start of a line> <client arguments...>
  local start=$1; shift
  run_client "$@" >"$work/client.txt" || true
  grep -qF "$start" "$work/client.txt" || { cat "$work/client.txt"; return 1; }
}
msi() { wine msiexec "$@" /qn; }
# Both guides, byte for byte as in docs/, and as the pages rendered from them.
guides_in() {
  local guide
  for guide in user-guide podrecznik-uzytkownika; do
    cmp -s "$1/$guide.md" "$here/docs/$guide.md" || return 1
    cmp -s "$1/$guide.html" "$packages/../docs/$guide.html" || return 1
  done
}
# The Start menu's folder: both guides as pages and a command prompt in the program's folder, where VarnokScan.exe
# runs by its bare name. Link files hold their arguments and working folder as UTF-16, their target also as ANSI.
menu_in() {  # menu_in <Start menu folder> <Windows path of the program's folder>
  local folder=$1 link
  for link in "Podrecznik uzytkownika" "User guide" "Wiersz polecenia VarnokScan"; do
    test -f "$folder/$link.lnk" || { echo "no $folder/$link.lnk"; return 1; }
  done
  strings -el "$folder/Wiersz polecenia VarnokScan.lnk" >"$work/link.txt"
  grep -qxF '/k VarnokScan.exe /?' "$work/link.txt" && grep -qiF "$2" "$work/link.txt" &&
    grep -qi 'cmd\.exe' "$work/link.txt" || { cat "$work/link.txt"; return 1; }
  strings "$folder/Podrecznik uzytkownika.lnk" | grep -qiF "$2\\podrecznik-uzytkownika.html" ||
    { strings "$folder/Podrecznik uzytkownika.lnk"; return 1; }
}
# What the prompt's command line does, in the folder the entry opens.
prompt_runs_scan_tool() {
  printf '@cd /d "%s"\r\n@VarnokScan.exe /?\r\n' "$1" >"$work/prompt.cmd"
  wine cmd /c "$(win "$work/prompt.cmd")" >"$work/prompt.txt" 2>&1 || { cat "$work/prompt.txt"; return 1; }
  grep -q '/fields' "$work/prompt.txt"
}

# Script hosts register their own interfaces at first use: use them once before the registry is recorded.
printf 'WScript.Echo("ready")\r\n' >"$work/ready.js"
for bits in 32 64; do wine "$(cscript_host $bits)" //nologo "$(win "$work/ready.js")" >/dev/null 2>&1 || true; done
snapshot before

echo "== MSI for all users"
check "install" msi /i "$(win "$packages/$name.msi")"
check "files in place" test -f "$machine_dir/VarnokSrv.exe" -a -f "$machine_dir/azteccodeQELM.dll" \
                          -a -f "$machine_dir/VarnokScan.exe"
check "both guides installed" guides_in "$machine_dir"
user_menu="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/VarnokSrv"
# Windows puts an all-users package's entries into the common Start menu; Wine 8 into the installing user's.
machine_menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/VarnokSrv"
[ -e "$machine_menu" ] || machine_menu=$user_menu
check "Start menu: the guides and the prompt" menu_in "$machine_menu" "C:\\$program_files\\VarnokSrv"
check "VarnokScan.exe runs by name in the prompt's folder" prompt_runs_scan_tool "C:\\$program_files\\VarnokSrv"
sdk="$machine_dir/SDK"
check "SDK in place" test -f "$sdk/include/VarnokSrv.tlb" -a -f "$sdk/include/VarnokSrvImage.h" \
                          -a -f "$sdk/examples/csharp/VarnokSrvInterop.cs" -a -f "$sdk/examples/certificate-scan.jpg"
# The C++ example built as the SDK says, in its installed layout (build.cmd's mingw-w64 line, with the cross
# compiler standing in for g++ on Windows), then run against the installed server with a scan named like text.
build_sdk_example() {
  local line
  line=$(tr -d '\r' <"$sdk/examples/cpp/build.cmd" | grep '^g++ ') || return 1
  line=${line//%INC%/..\/..\/include}
  (cd "$sdk/examples/cpp" && eval "$compiler ${line#g++ }") || return 1
  mv "$sdk/examples/cpp/read-certificate.exe" "$work/sdk-example.exe"
  cp "$examples/certificate-scan.jpg" "$work/skan.txt"
}
check "the SDK's C++ example builds with build.cmd's mingw-w64 line" build_sdk_example
check "the example built from the SDK reads a scan by its content" reads "NrRejestracyjny: WX 4217K" "$bits" "$work/sdk-example.exe" "$work/skan.txt"
check "the SDK's type library is the one inside the EXE" cmp -s "$sdk/include/VarnokSrv.tlb" "$packages/../generated/VarnokSrv.tlb"
check "the SDK's Delphi units are the ones imported from the EXE" bash -c "cmp -s '$sdk/examples/delphi/VarnokSrv_TLB.pas' \
      '$packages/../generated/delphi/VarnokSrv_TLB.pas' && cmp -s '$sdk/examples/delphi/VarnokSrvImage_TLB.pas' \
      '$packages/../generated/delphi/VarnokSrvImage_TLB.pas'"
check "the installed server reads a scan (64-bit host)" \
      reads "NrRejestracyjny: WX 4217K" 64 "$examples/read-image.vbs" "$examples/certificate-scan.jpg"
check "the installed VarnokScan.exe reads the scan" \
      bash -c "'$here/scripts/wine-run.sh' '$machine_dir/VarnokScan.exe' '$(win "$examples/certificate-scan.jpg")' |
               grep -qF '$(head -c 40 "$examples/certificate-payload.txt")'"
check "JScript (32-bit host) reads a data file" reads "NrRejestracyjny: WA 12345" 32 "$examples/read-certificate.js" "$examples/certificate.xml"
check "VBScript (64-bit host) decodes a payload with the installed decoder" \
      reads "NrRejestracyjny: WX 4217K" 64 "$examples/read-certificate.vbs" "$examples/certificate-payload.txt"
check "the server exited" wait_for_no_server
check "reinstall over the installed one" msi /i "$(win "$packages/$name.msi")"
# A damaged install: the decoder library deleted, the ProgID gone. Wine's msiexec /f fails (exit 1) even on an
# intact install; the documented reinstall properties repair it.
rm -f "$machine_dir/azteccodeQELM.dll"
wine reg delete 'HKLM\Software\Classes\VarnokSrv.FileReader' /f >/dev/null 2>&1
check "repair" msi /i "$(win "$packages/$name.msi")" REINSTALL=ALL REINSTALLMODE=amus
check "repair restored the library" test -f "$machine_dir/azteccodeQELM.dll"
check "decodes after the repair" reads "NrRejestracyjny: WX 4217K" 32 "$examples/read-certificate.js" "$examples/certificate-payload.txt"
check "the server exited" wait_for_no_server
check "upgrade to a newer version" msi /i "$(win "$newer")"
installed_versions() {
  for key in 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
             'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall'; do
    wine reg query "$key" /s 2>/dev/null || true
  done | tr -d '\r' | awk -v product="$product" '/DisplayName/ { sub(/.*REG_SZ[ \t]+/, ""); name = $0 }
                               /DisplayVersion/ && name == product { print $NF; name = "" }' |
      sort -u | tr '\n' ' '
}
check "only the newer version installed" test "$(installed_versions)" = "${version%.*}.999 "
check "reads after the upgrade" reads "NrRejestracyjny: WA 12345" 64 "$examples/read-certificate.js" "$examples/certificate.xml"
# Straight after the client, while the server is still in its grace period: the uninstall asks it to leave.
check "the server is still in its grace period" test "$(process_count 'Program Files.*VarnokSrv\.exe')" -gt 0
check "uninstall" msi /x "$(win "$newer")"
check "the server left for the uninstall" wait_for_no_server 5
check "install folder removed" test ! -e "$machine_dir"
check "Start menu folder removed" test ! -e "$machine_menu"
check "registry as before" same_registry before

# Nothing registered now: the examples say so instead of failing half-way.
check "an example says the server is not registered" \
      says "VarnokSrv.FileReader cannot be created (error 429" 32 "$examples/read-certificate.js" "$examples/certificate-payload.txt"
check "the image example says so too" \
      says "VarnokSrv.ImageReader cannot be created (error 429" 64 "$examples/read-image.vbs" "$examples/certificate-scan.jpg"

echo "== MSI without the decoder library"
check "install the server alone" msi /i "$(win "$packages/$name.msi")" ADDLOCAL=ServerFeature
check "no decoder library, no SDK installed" test -f "$machine_dir/VarnokSrv.exe" -a ! -e "$machine_dir/azteccodeQELM.dll" \
                                                -a ! -e "$machine_dir/SDK"
check "a payload reports the missing library" \
      reads "Status: Błąd 53 (File not found: azteccodeQELM.dll) w procedurze ReadCodetData L:110" \
      32 "$examples/read-certificate.js" "$examples/certificate-payload.txt"
check "the server exited" wait_for_no_server
check "uninstall" msi /x "$(win "$packages/$name.msi")"
check "registry as before" same_registry before

echo "== MSI per user"
check "install" msi /i "$(win "$packages/$name-user.msi")"
check "files in the user's profile" test -f "$user_dir/VarnokSrv.exe" -a -f "$user_dir/azteccodeQELM.dll" \
                                      -a -f "$user_dir/VarnokScan.exe"
check "both guides installed for the user" guides_in "$user_dir"
check "the user's Start menu: the guides and the prompt" menu_in "$user_menu" 'AppData\Local\VarnokSrv'
registered_image_reader() { wine reg query 'HKCU\Software\Classes\VarnokSrv.ImageReader\CLSID' >/dev/null 2>&1; }
check "ImageReader registered for the user" registered_image_reader
registered_for_user() { wine reg query 'HKCU\Software\Classes\VarnokSrv.FileReader\CLSID' >/dev/null 2>&1; }
check "class registered for the user" registered_for_user
check "nothing registered for all users" bash -c "! '$here/scripts/wine-run.sh' reg query 'HKLM\\Software\\Classes\\VarnokSrv.FileReader' >/dev/null 2>&1"
check "uninstall" msi /x "$(win "$packages/$name-user.msi")"
check "files removed" test ! -e "$user_dir"
check "the user's Start menu folder removed" test ! -e "$user_menu"
check "registry as before" same_registry before

echo "== Zip with register.cmd / unregister.cmd"
mkdir -p "$drive_c/VarnokSrv-zip"
(cd "$drive_c/VarnokSrv-zip" && cmake -E tar xf "$packages/$name.zip")
unpacked='C:\VarnokSrv-zip\'"$name"
zip_dir="$drive_c/VarnokSrv-zip/$name"
check "register.cmd" wine cmd /c "$unpacked\\register.cmd"
check "the zip's JScript example decodes the zip's payload" \
      reads "NrRejestracyjny: WX 4217K" 32 "$zip_dir/examples/read-certificate.js" "$zip_dir/examples/certificate-payload.txt"
check "the zip's 64-bit C++ example reads the zip's data file" \
      reads "NrRejestracyjny: WA 12345" 64 "$zip_dir/examples/cpp/read-certificate64.exe" "$zip_dir/examples/certificate.xml"
check "the zip's 32-bit C++ example decodes the payload" \
      reads "NrRejestracyjny: WX 4217K" 32 "$zip_dir/examples/cpp/read-certificate.exe" "$zip_dir/examples/certificate-payload.txt"
check "the zip's 32-bit C++ example reads the zip's scan" \
      reads "NrRejestracyjny: WX 4217K" 32 "$zip_dir/examples/cpp/read-certificate.exe" "$zip_dir/examples/certificate-scan.jpg"
check "the zip's JScript image example reads the scan" \
      reads "NrRejestracyjny: WX 4217K" 32 "$zip_dir/examples/read-image.js" "$zip_dir/examples/certificate-scan.jpg"
check "the zip carries VarnokScan.exe and its image worker" test -f "$zip_dir/VarnokScan.exe" -a -f "$zip_dir/VarnokImageWorker.exe"
check "the zip carries the workbook library's licence" grep -q "Redistribution and use" "$zip_dir/libxlsxwriter-license.txt"
check "the zip carries both guides" guides_in "$zip_dir"
check "the server exited" wait_for_no_server
check "unregister.cmd" wine cmd /c "$unpacked\\unregister.cmd"
check "registry as before" same_registry before
check "register.cmd /user" wine cmd /c "$unpacked\\register.cmd" /user
check "class registered for the user" registered_for_user
check "unregister.cmd /user" wine cmd /c "$unpacked\\unregister.cmd" /user
check "registry as before" same_registry before

echo "RESULT failures=$failures"
[ "$failures" -eq 0 ]
