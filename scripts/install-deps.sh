#!/usr/bin/env bash
# Brings every Debian package that the build and the tests need onto this machine.
# Idempotent: when everything is present it changes nothing and downloads nothing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ninja-build
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlite3-dev sqlite3
  unixodbc-dev tdsodbc libsqliteodbc
  libcups2-dev cups-daemon cups-server-common
  libx11-dev libxrandr-dev xvfb twm
  libzip-dev libcurl4-openssl-dev python3-aiosmtpd zip unzip openssl ca-certificates
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  echo "installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
