#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# Installs the Debian packages that are missing, as root directly, otherwise
# through sudo:
#   install-deps.sh       what the build, every test and the program need
#   install-deps.sh run   what `make run` needs to build the program and the
#                         demo: the desktop program's libraries only when a
#                         display is there, no test tools, no Samba
set -euo pipefail

# The libraries the program is built with, and the tools that build it.
run_packages=(
  build-essential cmake ninja-build pkg-config
  nlohmann-json3-dev libcli11-dev libc-ares-dev
  libmicrohttpd-dev libsystemd-dev libcurl4-gnutls-dev
  libyaml-cpp-dev libgnutls28-dev libcrypt-dev
)
desktop_packages=(qt6-base-dev qt6-multimedia-dev qt6-svg-dev qt6-qpa-plugins)

if [ "${1:-}" = run ]; then
  packages=("${run_packages[@]}")
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    packages+=("${desktop_packages[@]}")
  fi
else
  packages=(
    "${run_packages[@]}" "${desktop_packages[@]}"
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev clang-format-14 python3 git
    samba smbclient samba-common-bin ctdb python3-samba
    openbox tint2 xvfb xauth dbus-daemon qt6ct
    sudo systemd desktop-file-utils
    prometheus python3-jsonschema
    chromium chromium-driver python3-selenium cockpit-ws cockpit-bridge cockpit-system
    openssl apache2-utils
    lintian devscripts jq curl file
  )
fi

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
