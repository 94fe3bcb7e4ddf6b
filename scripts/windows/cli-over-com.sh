#!/usr/bin/env bash
# quillbank-cli.exe under wine against quillbank-devsim (the Linux build's) through COM7,
# which wine maps to the simulator's pseudo-terminal: list, the trace, write, read, remove,
# backup (with its journal) and restore, and a second program refused while the first holds
# the port.
#
#   scripts/windows/cli-over-com.sh BUILD_DIR     # run by scripts/windows.sh, which sets
#                                                 # WINEPREFIX and WINEPATH and stops the
#                                                 # wine server it leaves running
set -uo pipefail
build=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/windows/wine-server.sh"
devsim=$root/build/default/tools/devsim/quillbank-devsim
cli="wine $build/tools/cli/quillbank-cli.exe"
work=$(mktemp -d)
trap 'kill "$sim" 2> /dev/null; rm -rf "$work"' EXIT

failures=0
check() {  # NAME EXPECTED-CODE COMMAND...
  local name=$1 expected=$2
  shift 2
  "$@" > "$work/out" 2> "$work/err"
  local code=$?
  if [ "$code" -eq "$expected" ]; then
    echo "ok    $name"
  else
    echo "FAIL  $name: exit $code, expected $expected"
    sed 's/^/      /' "$work/err" | head -5
    failures=$((failures + 1))
  fi
}

start_device() {  # ARGS...
  "$devsim" "$@" > "$work/port" 2> /dev/null &
  sim=$!
  for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
  local pty
  pty=$(head -n 1 "$work/port")
  wine reg add 'HKLM\Software\Wine\Ports' /v COM7 /d "$pty" /f > /dev/null 2>&1
  # The server reads the port mapping when it starts.
  restart_wine_server
}

start_device --sample
printf 'written under wine\n' > "$work/upload.txt"
check "list" 0 $cli --port COM7 list
grep -q ' 0  Certificate ' "$work/out" || { echo "FAIL  list shows no certificate in slot 0"; failures=$((failures + 1)); }
# The trace names the COM port and its lines end as the program writes them.
check "trace" 0 $cli --trace --port COM7 list
grep -q $' Open(COM7)\r$' "$work/err" || { echo "FAIL  the trace has no Open(COM7) line ending in CR LF"; failures=$((failures + 1)); }
! grep -q $'\r\r' "$work/err" || { echo "FAIL  the trace's line ends are doubled"; failures=$((failures + 1)); }
check "write slot 7" 0 $cli --yes --port COM7 write 7 "$(winepath -w "$work/upload.txt")"
check "read slot 7" 0 $cli --yes --port COM7 read 7 "$(winepath -w "$work/back.txt")"
cmp -s "$work/upload.txt" "$work/back.txt" || { echo "FAIL  read back differs"; failures=$((failures + 1)); }
check "remove slot 7" 0 $cli --yes --port COM7 remove 7
check "read of an empty slot" 9 $cli --yes --port COM7 read 7 "$(winepath -w "$work/none.txt")"
check "backup" 0 $cli --journal "$(winepath -w "$work/journal.jsonl")" --port COM7 backup "$(winepath -w "$work/backup")"
[ -f "$work/backup/manifest.json" ] && [ -f "$work/backup/01-server.key" ] ||
  { echo "FAIL  backup files missing"; failures=$((failures + 1)); }
# The journal: whole lines, one per saved slot and the device's last.
grep -qv '^{.*}$' "$work/journal.jsonl" && { echo "FAIL  a journal line is not whole"; failures=$((failures + 1)); }
tail -n 1 "$work/journal.jsonl" | grep -q '"exitCode":0,.*"record":"device"' ||
  { echo "FAIL  the journal does not end with the device's line"; failures=$((failures + 1)); }
check "restore" 0 $cli --yes --port COM7 restore "$(winepath -w "$work/backup")"
kill "$sim" 2> /dev/null; wait "$sim" 2> /dev/null

# A slow line keeps the first program on the port while the second tries it.
start_device --sample --baud 9600
$cli --port COM7 backup "$(winepath -w "$work/slow")" > /dev/null 2>&1 &
first=$!
sleep 3
check "second program refused" 5 $cli --port COM7 list
grep -q 'in use' "$work/err" || { echo "FAIL  the refusal does not say the port is in use"; failures=$((failures + 1)); }
wait "$first"

echo "cli over COM7: $failures failure(s)"
[ "$failures" -eq 0 ]
