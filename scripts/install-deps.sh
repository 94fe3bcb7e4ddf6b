#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Quillbank needs.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev
  libgl-dev libxkbcommon-dev
  libssl-dev openssl
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  socat xvfb xauth
  fonts-ipafont-gothic fonts-dejavu-core fonts-wine
  dpkg-dev help2man lintian desktop-file-utils bash-completion
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
