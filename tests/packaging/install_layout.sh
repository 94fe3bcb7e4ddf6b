#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what lands there: exactly the
# listed files, icons of the size their folder names, man pages made from the programs'
# help, the changelog at the project's version, and every program's --version without a
# display.
#   install_layout.sh BUILD_DIR VERSION LIST
source "$(dirname "$0")/checks.sh"
build=$1 version=$2 list=$3
prefix=$work

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }

diff <(grep -v '^#' "$list") <(cd "$prefix" && find . -type f -printf '%P\n' | LC_ALL=C sort) \
  || fail "installed files differ from $list (< expected, > installed)"

# PNG width and height are the big-endian words at bytes 16 and 20.
for png in "$prefix"/share/icons/hicolor/*x*/apps/quillbank.png; do
  size=$(basename "$(dirname "$(dirname "$png")")")
  read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
    awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "${width}x${height}" = "$size" ] || fail "$png is ${width}x${height}"
done

# Each man page documents an option that only that program's --help names.
while read -r program option; do
  zcat "$prefix/share/man/man1/$program.1.gz" | sed 's/\\-/-/g' | grep -q -- "$option" ||
    fail "man page of $program does not mention $option"
done <<'TABLE'
quillbank-devsim --persist
quillbank-cli --timeout
TABLE

changelog_version=$(zcat "$prefix/share/doc/quillbank/changelog.gz" | head -n 1 | sed -n 's/^quillbank (\([^)]*\)).*/\1/p')
[ "$changelog_version" = "$version" ] || fail "changelog's latest entry is '$changelog_version', not $version"
head -c 5 "$prefix/share/doc/quillbank/QuillkitManuals_en.pdf" | grep -q '^%PDF-' || fail "the manual is no PDF"

# No display and no Qt platform chosen: --version must not need a window system.
for program in quillbank quillbank-cli quillbank-demo quillbank-devsim quillbank-shots; do
  got=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/$program" --version 2>&1)
  [ "$got" = "$program $version" ] || fail "$program --version said '$got'"
done

finish "install layout"
