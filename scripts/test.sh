#!/usr/bin/env bash
# Installs what is needed, builds the optimised and the sanitizer configurations from
# scratch (or incrementally when a build tree exists) and runs the whole suite in both,
# then runs every fuzz target on its committed corpus for a minute, two at a time.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh || exit 1

status=0
for preset in asan default fuzz; do
  echo "=== configure and build: $preset"
  # The optimised build also makes the package, which its tests install and check.
  extra=()
  [ "$preset" = default ] && extra=(-DQB_PACKAGING=ON)
  cmake --preset "$preset" "${extra[@]}" >/dev/null || exit 1
  cmake --build --preset "$preset" || exit 1
done
for preset in asan default; do
  echo "=== tests: $preset"
  ctest --preset "$preset" || status=1
done
echo "=== fuzz: every target on its corpus"
bash fuzz/run-fuzzers.sh --time 60 --jobs 2 || status=1
# The Windows build and its tests under wine, where the cross toolchain has been built.
echo "=== windows"
bash scripts/windows.sh --if-cached || status=1
exit $status
