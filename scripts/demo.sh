#!/usr/bin/env bash
# Installs what is needed, builds Quillbank and runs the window against the built-in
# simulated device. Extra arguments go to quillbank-demo (for example --port /dev/pts/5).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

demo=build/default/tools/demo/quillbank-demo
if [ ! -x "$demo" ]; then
  echo "quillbank-demo is not built yet." >&2
  exit 1
fi

# The manual is looked up next to the working directory, so run from the build folder.
cd build/default/tools/demo
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: running the demo under Xvfb (a virtual display nobody sees)."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" ./quillbank-demo "$@"
fi
exec ./quillbank-demo "$@"
