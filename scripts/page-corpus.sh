#!/usr/bin/env bash
# Makes the page corpus (tests/aztec/make-pages.sh) once into build/page-corpus, again only when its recipe
# changes; prints the folder.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$here/build/page-corpus
stamp=$(sha256sum "$here/tests/aztec/make-pages.sh" | cut -c1-16)
if [ "$(cat "$out/.recipe" 2>/dev/null)" != "$stamp" ]; then
  cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  ninja -C "$here/build/release" generate-payload >/dev/null
  rm -rf "$out"
  "$here/tests/aztec/make-pages.sh" "$here/build/release/tests/generator/generate-payload" "$out" >&2
  echo "$stamp" >"$out/.recipe"
fi
echo "$out"
