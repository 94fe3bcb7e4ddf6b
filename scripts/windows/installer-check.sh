#!/usr/bin/env bash
# The installer under wine: a silent install into a folder that already holds a file of the
# user's, the programs run from there, the Start-menu entries exist; the uninstaller then
# takes away what was installed and leaves the user's file.
#
#   scripts/windows/installer-check.sh SETUP_EXE     # WINEPREFIX, WINEPATH set by the caller
set -uo pipefail
setup=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder=$work/Quillbank
mkdir -p "$folder"
echo "the user's own" > "$folder/notes.txt"
menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Quillbank

failures=0
expect() {  # DESCRIPTION CONDITION...
  local what=$1
  shift
  if "$@"; then echo "ok    $what"; else echo "FAIL  $what"; failures=$((failures + 1)); fi
}

wine "$setup" /S "/D=$(winepath -w "$folder")" > /dev/null 2>&1
expect "installs the programs" test -f "$folder/quillbank.exe" -a -f "$folder/quillbank-cli.exe" \
  -a -f "$folder/platforms/qwindows.dll"
expect "the installed command line runs" \
  bash -c "WINEPATH= wine '$(winepath -w "$folder")\\quillbank-cli.exe' --version | grep -q '^quillbank-cli '"
expect "Start-menu entries for the window and the manual" \
  test -f "$menu/Quillbank.lnk" -a -f "$menu/Quillbank manual.lnk"

# Run in place (_?=), so that it ends before it is looked at; it cannot remove itself then.
wine "$folder/Uninstall.exe" /S "_?=$(winepath -w "$folder")" > /dev/null 2>&1
rm -f "$folder/Uninstall.exe"
expect "the uninstaller leaves the user's file" test -f "$folder/notes.txt"
left=$(cd "$folder" && find . -mindepth 1 ! -name notes.txt | head -n 5)
expect "the uninstaller takes away what it installed" test -z "$left"
expect "and its Start-menu entries" test ! -e "$menu"

echo "installer: $failures failure(s)"
[ "$failures" -eq 0 ]
