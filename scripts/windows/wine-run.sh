#!/usr/bin/env bash
# The emulator the Windows tests run under: wine, with one exception. Under load, wine now
# and then kills a test program with a signal as the program exits, after GoogleTest has
# printed that its tests passed. Such a run is made again, at most twice; any other result,
# a failed test or a program killed before its tests reported, stands as it is.
set -u
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for attempt in 1 2 3; do
  wine "$@" | tee "$out"
  rc=${PIPESTATUS[0]}
  if ((rc > 128 && attempt < 3)) && grep -q '^\[  PASSED  \]' "$out" &&
     ! grep -q '^\[  FAILED  \]' "$out"; then
    echo "wine-run: wine killed $1 (signal $((rc - 128))) after its tests passed; running it again" >&2
    continue
  fi
  exit "$rc"
done
