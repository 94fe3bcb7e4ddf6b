#!/usr/bin/env bash
# quillbank-cli.exe under wine against quillbank-devsim (the Linux build's) through COM7,
# which wine maps to the simulator's pseudo-terminal: list, the trace, write, read, remove,
# backup (with its journal) and restore, files of Cyrillic names, a backup of two devices on
# COM3 and COM7, and a second program refused while the first holds the port.
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
sims=()
trap 'kill "${sims[@]}" 2> /dev/null; rm -rf "$work"' EXIT
# Names outside ASCII reach wine's programs as UTF-8; wine's ANSI code page is then 1252,
# which has no Cyrillic letters.
export LC_ALL=C.UTF-8

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

start_device() {  # COM-PORT ARGS...
  local com=$1
  shift
  "$devsim" "$@" > "$work/port-$com" 2> /dev/null &
  sim=$!
  sims+=("$sim")
  for _ in $(seq 50); do [ -s "$work/port-$com" ] && break; sleep 0.1; done
  local pty
  pty=$(head -n 1 "$work/port-$com")
  wine reg add 'HKLM\Software\Wine\Ports' /v "$com" /d "$pty" /f > /dev/null 2>&1
  # The server reads the port mapping when it starts.
  restart_wine_server
}

start_device COM7 --sample
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

# Files whose names the ANSI code page cannot hold: saved, then sent from.
printf 'written from a Cyrillic name\n' > "$work/загрузка.txt"
check "write slot 7 from a Cyrillic name" 0 $cli --yes --port COM7 write 7 "$(winepath -w "$work/загрузка.txt")"
check "read slot 7 back" 0 $cli --yes --port COM7 read 7 "$(winepath -w "$work/back-7.txt")"
cmp -s "$work/загрузка.txt" "$work/back-7.txt" || { echo "FAIL  slot 7 does not hold the Cyrillic-named file"; failures=$((failures + 1)); }
check "read slot 0 into a Cyrillic name" 0 $cli --yes --port COM7 read 0 "$(winepath -w "$work/сертификат.der")"
check "apply slot 3 from a Cyrillic name" 0 $cli --yes --port COM7 apply --slot "3=$(winepath -w "$work/сертификат.der")"
check "read slot 3 back" 0 $cli --yes --port COM7 read 3 "$(winepath -w "$work/back-3.der")"
cmp -s "$work/сертификат.der" "$work/back-3.der" || { echo "FAIL  slot 3 does not hold the Cyrillic-named certificate"; failures=$((failures + 1)); }
check "remove slot 7 again" 0 $cli --yes --port COM7 remove 7

# Two devices without a serial number: each gets a folder named after its port, and as COM3
# and COM7 are names of devices on Windows, names that Windows can create.
start_device COM3 --sample
check "backup of two, on COM3 and COM7" 0 $cli --port COM3 --port COM7 backup "$(winepath -w "$work/two")"
[ -f "$work/two/COM3_/manifest.json" ] && [ -f "$work/two/COM7_/manifest.json" ] ||
  { echo "FAIL  the backup of two has no folders COM3_ and COM7_: $(ls "$work/two" 2>&1 | tr '\n' ' ')"; failures=$((failures + 1)); }
check "restore of two, on COM3 and COM7" 0 $cli --yes --exact --port COM3 --port COM7 restore "$(winepath -w "$work/two")"
kill "${sims[@]}" 2> /dev/null; wait "${sims[@]}" 2> /dev/null
sims=()

# A slow line keeps the first program on the port while the second tries it.
start_device COM7 --sample --baud 9600
$cli --port COM7 backup "$(winepath -w "$work/slow")" > /dev/null 2>&1 &
first=$!
sleep 3
check "second program refused" 5 $cli --port COM7 list
grep -q 'in use' "$work/err" || { echo "FAIL  the refusal does not say the port is in use"; failures=$((failures + 1)); }
wait "$first"

echo "cli over COM7: $failures failure(s)"
[ "$failures" -eq 0 ]
