#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# Installs the Debian packages the build, the tests and the program need,
# only those that are missing. As root directly, otherwise through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  nlohmann-json3-dev libcli11-dev libc-ares-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format-14 python3 git
  samba smbclient samba-common-bin ctdb python3-samba
  qt6-base-dev qt6-multimedia-dev qt6-svg-dev
  openbox tint2 xvfb xauth dbus-daemon qt6ct
  sudo systemd desktop-file-utils
  libmicrohttpd-dev libsystemd-dev prometheus python3-jsonschema
  libcurl4-gnutls-dev
  chromium chromium-driver python3-selenium cockpit-ws cockpit-bridge cockpit-system
  libyaml-cpp-dev libgnutls28-dev libcrypt-dev openssl apache2-utils
  lintian devscripts jq curl file
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null; then
  sudo=(sudo)
else
  echo "These packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
