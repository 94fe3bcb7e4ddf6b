#!/usr/bin/env bash
# Builds the Debian package with CPack and checks it: its name, control fields and
# contents, the desktop entry, and lintian (no errors).
#   deb_package.sh BUILD_DIR VERSION LIST
source "$(dirname "$0")/checks.sh"
build=$1 version=$2 list=$3

cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$work/quillbank_${version}_amd64.deb
[ -f "$deb" ] || { ls "$work"; echo "FAIL: no $deb"; exit 1; }

# field, then a pattern (extended regex) its value must match.
while read -r field pattern; do
  value=$(dpkg-deb -f "$deb" "$field" | head -n 1)
  [[ $value =~ $pattern ]] || fail "$field is '$value'"
done <<TABLE
Package ^quillbank$
Version ^${version//./\\.}$
Architecture ^amd64$
Maintainer ^[^<>]+\ <[^@<>]+@[^@<>]+>$
Section ^utils$
Depends (^|,\ )libqt6widgets6\ \(
Depends (^|,\ )libqt6serialport6\ \(
Depends (^|,\ )libssl3\ \(
Depends (^|,\ )qt6-qpa-plugins(,|$)
Description ^[a-z].{10,78}$
TABLE

# Regular files only: directories and their modes are lintian's matter.
diff <(grep -v '^#' "$list" | sed 's|^|usr/|') \
  <(dpkg-deb -c "$deb" | awk '$1 ~ /^-/ {sub(/^\.\//, "", $6); print $6}' | LC_ALL=C sort) ||
  fail "package contents differ from $list (< expected, > packaged)"

dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/quillbank.desktop" || fail "desktop entry"

lintian --no-cfg --fail-on error "$deb" >"$work/lintian.log" 2>&1 || fail "lintian reports errors"
cat "$work/lintian.log"

finish "Debian package"
