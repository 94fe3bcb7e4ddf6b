#!/usr/bin/env bash
# What the bash completion of quillbank-cli offers after a typed command line.
#   completion.sh COMPLETION_FILE
source "$(dirname "$0")/checks.sh"
source /usr/share/bash-completion/bash_completion || exit 1
source "$1" || exit 1
cd "$work" && mkdir backups && touch server.crt server.key slots.json

# The words of the line (its last word is the one being completed: "" after a space) and
# the completions offered, sorted.
complete_line() {
  COMP_LINE=$1 COMP_POINT=${#1}
  read -ra COMP_WORDS <<<"$1"
  [[ $1 == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _quillbank_cli quillbank-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | xargs
}

slots="0 1 10 11 12 13 14 2 3 4 5 6 7 8 9"
while IFS='|' read -r line expected; do
  got=$(complete_line "$line")
  [ "$got" = "$expected" ] || fail "[$line] offered '$got', expected '$expected'"
done <<TABLE
quillbank-cli |apply backup check list ports read remove restore summary write
quillbank-cli --trace --port /dev/ttyACM0 li|list
quillbank-cli --ti|--tick-ms --timeout
quillbank-cli --no|--no-checks --no-verify
quillbank-cli read |$slots
quillbank-cli --yes write 2 |backups server.crt server.key slots.json
quillbank-cli remove 5 |
quillbank-cli summary server.c|server.crt
quillbank-cli apply |backups slots.json
quillbank-cli apply --slot |0= 10= 11= 12= 13= 14= 1= 2= 3= 4= 5= 6= 7= 8= 9=
quillbank-cli apply --slot 1 = server.k|server.key
quillbank-cli apply --slot 1 = server.key |backups slots.json
quillbank-cli apply --remove |$slots
quillbank-cli backup |backups
quillbank-cli --timeout 5 |apply backup check list ports read remove restore summary write
quillbank-cli check |
TABLE

finish "bash completion"
