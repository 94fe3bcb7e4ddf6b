#!/usr/bin/env bash
# The Windows packages: quillbank-<version>-win64.zip (the programs, the Qt and OpenSSL
# DLLs, the Windows platform plugin and the manual, running from any folder) and
# quillbank-<version>-setup.exe (NSIS: Start-menu entries for the window and the manual, an
# uninstaller, the command line on the PATH if chosen).
#
#   scripts/windows/package.sh BUILD_DIR CACHE_DIR
set -euo pipefail
build=$1
cache=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^project(Quillbank VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
stage=$build/package/quillbank-$version-win64
rm -rf "$build/package"
mkdir -p "$stage/platforms"
cp "$build/tools/quillbank/quillbank.exe" "$build/tools/cli/quillbank-cli.exe" "$stage/"
for dll in Qt6Core Qt6Gui Qt6Widgets; do cp "$cache/qt/bin/$dll.dll" "$stage/"; done
cp "$cache/qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$cache"/openssl/bin/libcrypto-3-x64.dll "$stage/"
# The compiler's own runtime.
for dll in libstdc++-6 libgcc_s_seh-1 libwinpthread-1; do
  cp "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll.dll)" "$stage/"
done
cp "$root/build/default/tools/manual/QuillkitManuals_en.pdf" "$stage/"
printf '[Paths]\nPlugins = .\n' > "$stage/qt.conf"

(cd "$build/package" && cmake -E tar cf "$build/quillbank-$version-win64.zip" --format=zip "quillbank-$version-win64")
# The uninstaller takes away exactly what was installed, so a folder the user chose that
# already held other files keeps them.
(cd "$stage" && find . -type f | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|') > "$build/package/files.nsh"
makensis -V2 -DFILES="$build/package/files.nsh" -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$build/quillbank-$version-setup.exe" \
  "$root/packaging/windows/quillbank.nsi"
ls -l "$build/quillbank-$version-win64.zip" "$build/quillbank-$version-setup.exe"
