#!/usr/bin/env bash
# Installs everything ORT needs to build, test and run its demo on Debian 12.
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-httpserver-dev qt6-websockets-dev libsystemd-dev
  qt6-charts-dev libqt6opengl6-dev
  libqt6sql6-sqlite libqt6sql6-psql libqt6serialport6 libsqlite3-dev
  libgl-dev
  postgresql postgresql-client
  sqlite3 socat xvfb xauth x11-apps imagemagick procps
  mdbtools-dev
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
