#!/usr/bin/env bash
# Installs the Debian 12 packages Quorvel needs to build, run and test, skipping those present.
set -euo pipefail

packages=(
  g++ cmake make ccache pkg-config
  qt6-base-dev libqt6sql6-mysql qt6-charts-dev
  mariadb-server mariadb-client
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing[*]}"
if ! $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
