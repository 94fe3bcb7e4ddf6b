#!/usr/bin/env bash
# Builds, once, what Quillbank for Windows links against: OpenSSL 3.0 and Qt 6.4 (qtbase:
# Core, Gui, Widgets, Test and the Windows platform plugin), cross-compiled with mingw-w64
# from Debian's own source packages, into a cache outside any build tree. A stamp of this
# recipe (its commands, not its comments) marks a finished cache; while it matches, nothing
# is rebuilt.
#
#   scripts/windows/toolchain.sh        # prints the cache folder on its last line
#
# QB_WINDOWS_CACHE overrides the cache folder (default /var/cache/quillbank-windows).
# On two cores the first build took 18 minutes here (the downloads and OpenSSL 3, qtbase 15).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cache=${QB_WINDOWS_CACHE:-/var/cache/quillbank-windows}
recipe=$(cat "$here/toolchain.sh" "$here/../../cmake/mingw-w64-x86_64.cmake" |
  grep -v '^[[:space:]]*#' | sha256sum | cut -c1-16)
jobs=${QB_WINDOWS_JOBS:-2}

if [ -f "$cache/stamp" ] && [ "$(cat "$cache/stamp")" = "$recipe" ]; then
  echo "windows toolchain: cache $cache is current"
  echo "$cache"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive

# Debian's sources for the same archive, the security suite too: OpenSSL's source there
# matches the installed binary.
if ! grep -rqs '^Types: deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  echo "windows toolchain: adding Debian's source packages to apt"
  $SUDO tee /etc/apt/sources.list.d/quillbank-sources.sources > /dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  $SUDO apt-get update -qq
fi

echo "windows toolchain: building the cache in $cache (about 20 minutes on two cores); log in $cache/build.log"
$SUDO mkdir -p "$cache"
rm -rf "$cache/src" "$cache/openssl" "$cache/qt" "$cache/stamp"
mkdir -p "$cache/src"
# Qt's installed configuration refers to the toolchain file it was built with: a copy that
# stays with the cache.
cp "$here/../../cmake/mingw-w64-x86_64.cmake" "$cache/mingw-w64-x86_64.cmake"
exec 3>&1
exec >> "$cache/build.log" 2>&1
cd "$cache/src"
# The newest source the archive really holds (the index may name one a mirror lacks).
fetch() {
  local v
  for v in $(apt-cache showsrc "$1" | awk '/^Version:/ {print $2}' | sort -rV); do
    apt-get source -qq "$1=$v" && return 0
    rm -rf ./*"$1"* 2> /dev/null || true
  done
  echo "windows toolchain: cannot fetch the source of $1" >&3
  return 1
}
fetch openssl
fetch qt6-base

# OpenSSL: libcrypto and libssl as DLLs.
cd "$cache/src"/openssl-3*/
./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- no-tests shared \
  --prefix="$cache/openssl" --libdir=lib
make -j"$jobs"
make install_sw
echo "windows toolchain: OpenSSL done" >&3

# qtbase, with the Test module on from the start.
cd "$cache/src"/qt6-base-*/
mkdir -p build && cd build
../configure -prefix "$cache/qt" -release -shared -xplatform win32-g++ -qt-host-path /usr \
  -nomake tests -nomake examples -no-opengl -no-dbus -no-icu -no-zstd -no-pkg-config \
  -qt-zlib -qt-pcre -qt-libpng -no-libjpeg -qt-harfbuzz -no-freetype \
  -qt-doubleconversion -no-feature-network -no-feature-sql -no-feature-xml \
  -no-feature-printsupport -no-feature-concurrent -no-feature-tabletevent \
  -no-feature-androiddeployqt -no-feature-vulkan \
  -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$cache/mingw-w64-x86_64.cmake" \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
cmake --build . --parallel "$jobs"
cmake --install .
echo "windows toolchain: Qt done" >&3

rm -rf "$cache/src"
echo "$recipe" > "$cache/stamp"
echo "windows toolchain: cache ready" >&3
echo "$cache" >&3
