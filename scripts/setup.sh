#!/usr/bin/env bash
# Installs every Debian 12 package Ravelin needs to build, test and run.
# Idempotent: packages already present are not touched. Run as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev
  libfbclient2 firebird-dev firebird3.0-server-core firebird3.0-utils
  firebird3.0-server
  libcli11-dev libfmt-dev nlohmann-json3-dev
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
  xvfb xauth adwaita-icon-theme
  util-linux
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
