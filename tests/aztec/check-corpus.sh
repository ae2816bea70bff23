#!/usr/bin/env bash
# varnok-scan must read every image of the committed corpus to exactly its expected text (<image>.txt), and a
# sequence symbol with its note on stderr (<image>.note, after "<image>: ").
# Usage: check-corpus.sh <varnok-scan> <corpus folder>
set -u
scan=$1 folder=$2
failed=0
stderr=$(mktemp); trap 'rm -f "$stderr"' EXIT
for expected in "$folder"/*.txt; do
  image=${expected%.txt}
  line=$("$scan" "$image" 2>"$stderr")
  if [ "${line#*$'\t'}" != "$(cat "$expected")" ]; then
    echo "FAIL $(basename "$image"): ${line:0:120}"
    failed=1
  elif [ -f "$image.note" ] && [ "$(cat "$stderr")" != "$image: $(cat "$image.note")" ]; then
    echo "FAIL $(basename "$image"): stderr \"$(cat "$stderr")\" instead of \"$(cat "$image.note")\""
    failed=1
  fi
done
# Usage errors and a file that is no image.
"$scan" >/dev/null 2>&1; [ $? -eq 2 ] || { echo "FAIL: no arguments must exit 2"; failed=1; }
out=$("$scan" "$0"); [ $? -eq 1 ] && [[ $out == "$0"$'\t!\t'* ]] || { echo "FAIL: a non-image must print a reason and exit 1"; failed=1; }
[ $failed -eq 0 ] && echo "all $(ls "$folder"/*.txt | wc -l) images read"
exit $failed
