#!/usr/bin/env bash
# Installs what is needed, builds the optimised configuration and makes the Debian package
# quillbank_<version>_amd64.deb in build/default. Prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default -DQB_PACKAGING=ON >/dev/null
cmake --build --preset default

cd build/default
cpack -G DEB >/dev/null
package=$(ls -t quillbank_*_amd64.deb | head -n 1)
echo "$PWD/$package"
