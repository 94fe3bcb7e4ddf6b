#!/usr/bin/env bash
# Installs what is needed, builds Quillbank and shows it against the simulated device.
# With a display: runs the window with the built-in simulated device (extra arguments go to
# quillbank-demo, for example --port /dev/pts/5). Without one: runs the command-line tool
# against a simulated device, renders the windows to PNG files, says where they are, ends.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

tools=$PWD/build/default/tools
for program in demo/quillbank-demo cli/quillbank-cli devsim/quillbank-devsim shots/quillbank-shots; do
  if [ ! -x "$tools/$program" ]; then
    echo "$(basename "$program") is not built yet." >&2
    exit 1
  fi
done

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  # The manual is looked up next to the working directory, so run from the build folder.
  cd "$tools/demo"
  exec ./quillbank-demo "$@"
fi

echo "No display found: showing the command-line tool and pictures of the window instead."
pty_file=$(mktemp)
"$tools/devsim/quillbank-devsim" --sample >"$pty_file" 2>/dev/null &
simulator=$!
trap 'kill "$simulator" 2>/dev/null; wait "$simulator" 2>/dev/null; rm -f "$pty_file"' EXIT
for _ in $(seq 100); do
  [ -s "$pty_file" ] && break
  sleep 0.1
done
pty=$(head -n 1 "$pty_file")
if [ -z "$pty" ]; then
  echo "The simulated device did not start." >&2
  exit 1
fi

echo
echo "\$ quillbank-cli ports"
"$tools/cli/quillbank-cli" ports || true
echo
echo "\$ quillbank-cli --port $pty list        # the simulated device"
"$tools/cli/quillbank-cli" --port "$pty" list

pictures=$PWD/screenshots
mkdir -p "$pictures"
echo
echo "The window, the progress window and the About box, rendered to:"
"$tools/shots/quillbank-shots" "$pictures"
echo
echo "On a desktop, run the window against the simulated device with: bash scripts/demo.sh"
echo "(or $tools/demo/quillbank-demo)."
