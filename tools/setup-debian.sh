#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on Debian 12.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsimpleini-dev libssl-dev libsqlite3-dev
  unixodbc unixodbc-dev tdsodbc freetds-bin python3 python3-tds python3-pyodbc
  libgtest-dev libgmock-dev
  fonts-wqy-microhei xvfb xauth
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
