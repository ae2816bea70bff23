# Shared by the script-client runners: the cscript host of a bitness and Windows paths for Linux ones.
cscript_host() {
  case "$1" in
    32) echo 'C:\windows\syswow64\cscript.exe' ;;
    64) echo 'C:\windows\system32\cscript.exe' ;;
    *) echo "bitness must be 32 or 64" >&2; return 2 ;;
  esac
}
win() { printf 'Z:%s' "${1//\//\\}"; }
