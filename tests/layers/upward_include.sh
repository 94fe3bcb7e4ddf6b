#!/usr/bin/env bash
# upward_include.sh BUILD OWN_TARGET ABOVE_TARGET HEADER: OWN_TARGET builds; ABOVE_TARGET does
# not, and the reason is that HEADER is not on its include path.
set -uo pipefail
build=$1 own=$2 above=$3 header=$4
if ! out=$(cmake --build "$build" --target "$own" 2>&1); then
  echo "$out"; echo "FAIL: $own does not build"; exit 1
fi
if out=$(cmake --build "$build" --target "$above" 2>&1); then
  echo "FAIL: $above builds: an upward include of $header compiles"; exit 1
fi
if ! grep -q "$header: No such file or directory" <<<"$out"; then
  echo "$out"; echo "FAIL: $above fails for another reason than the missing $header"; exit 1
fi
echo "ok: $header is out of reach"
