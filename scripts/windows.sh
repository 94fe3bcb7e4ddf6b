#!/usr/bin/env bash
# Quillbank for Windows x86-64, built here with mingw-w64 and tested under wine:
#   1. installs the cross compiler, wine and NSIS from Debian;
#   2. builds (once) OpenSSL and Qt for Windows into the toolchain cache
#      (scripts/windows/toolchain.sh; about 20 minutes the first time on two cores);
#   3. builds the programs and the Windows test executables in build/windows;
#   4. runs the tests under wine, then quillbank-cli.exe against quillbank-devsim through a
#      COM port that wine maps to the simulator's pseudo-terminal;
#   5. packs build/windows/quillbank-<version>-win64.zip and quillbank-<version>-setup.exe,
#      and installs and uninstalls the latter under wine.
#
#   bash scripts/windows.sh            # all of it
#   bash scripts/windows.sh --if-cached  # only when the toolchain cache is ready (the
#                                        # test command); otherwise says so in one line
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
cache=${QB_WINDOWS_CACHE:-/var/cache/quillbank-windows}
build=$root/build/windows

if [ "${1:-}" = --if-cached ] && [ ! -f "$cache/stamp" ]; then
  echo "windows: no toolchain cache in $cache; skipped (bash scripts/windows.sh builds it, about 20 minutes)"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
packages=(g++-mingw-w64-x86-64-posix wine wine64 nsis xvfb xauth dpkg-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2> /dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

bash scripts/windows/toolchain.sh | tail -n 1 > /dev/null

# The simulated device and the manual come from the Linux build.
cmake --preset default > /dev/null
cmake --build --preset default --target quillbank-devsim quillbank-manual > /dev/null

echo "=== windows: configure and build"
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DQB_WINDOWS_PREFIXES="$cache/qt;$cache/openssl" \
  -DCMAKE_PREFIX_PATH="$cache/qt;$cache/openssl" \
  -DQT_HOST_PATH=/usr -DOPENSSL_ROOT_DIR="$cache/openssl" \
  -DCMAKE_BUILD_TYPE=Release -DQB_BUILD_TESTS=ON -DQB_BUILD_BENCHMARKS=OFF \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/windows/wine-run.sh" > /dev/null
cmake --build "$build"

# wine finds the DLLs through WINEPATH. It keeps QT_* variables of the host for the host's
# own Qt, so Qt's under wine takes its plugins and its platform from the prefix's
# environment: Qt's minimal platform, as the window's tests need no screen (the offscreen
# one needs FreeType, which the Windows Qt is built without).
winpath() { echo "Z:${1//\//\\}"; }
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=-all
export WINEPATH="$(winpath "$cache/qt/bin");$(winpath "$cache/openssl/bin");$(winpath "$runtime");$(winpath /usr/x86_64-w64-mingw32/lib)"
wineboot -i > /dev/null 2>&1 || true
wine reg add 'HKCU\Environment' /v QT_PLUGIN_PATH /d "$(winpath "$cache/qt/plugins")" /f > /dev/null 2>&1
wine reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d minimal:enable_fonts /f > /dev/null 2>&1
# One server for all the runs below (a server of its own per test would start wine's
# services each time), stopped at the end.
. scripts/windows/wine-server.sh
restart_wine_server
trap 'wineserver -k > /dev/null 2>&1 || true' EXIT

echo "=== windows: tests under wine"
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" || status=1

echo "=== windows: quillbank-cli.exe against quillbank-devsim on COM7"
bash scripts/windows/cli-over-com.sh "$build" || status=1

echo "=== windows: packages"
version=$(sed -n 's/^project(Quillbank VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
bash scripts/windows/package.sh "$build" "$cache" &&
  bash scripts/windows/installer-check.sh "$build/quillbank-$version-setup.exe" || status=1
exit $status
