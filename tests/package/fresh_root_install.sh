#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# Installs a package with apt into a fresh Debian 12 root folder made by
# mmdebstrap (from this machine's apt sources), then checks that its
# dependencies were found, its postinst made the group and the folders, and
# the program runs. Downloads a minimal system and the package's
# dependencies, so it is not part of ctest. As root:
#   tests/package/fresh_root_install.sh build/quillmoor98_*.deb
set -euo pipefail
deb=$(realpath "$1")
[ "$(id -u)" -eq 0 ] || { echo "run as root"; exit 1; }
command -v mmdebstrap >/dev/null || apt-get install -y -q mmdebstrap >/dev/null
sources=/etc/apt/sources.list.d/debian.sources
[ -f "$sources" ] || sources=/etc/apt/sources.list

root=$(mktemp -d /tmp/qm-fresh-XXXXXX)
trap 'rm -rf "$root"' EXIT
mmdebstrap --quiet --variant=apt --mode=root bookworm "$root" - <"$sources"
cp "$deb" "$root/tmp/"
cp /etc/resolv.conf "$root/etc/resolv.conf"
unshare --mount --propagation private sh -c '
  root=$1 deb=$2
  mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"
  chroot "$root" sh -ec "
    apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends /tmp/$deb >/dev/null
    getent group quillmoor98
    stat -c \"%A %U:%G %n\" /var/lib/quillmoor98 /etc/quillmoor98 /etc/quillmoor98/Quillmoor98.ini \
      /etc/sudoers.d/quillmoor98
    test \"\$(stat -c %a:%G /var/lib/quillmoor98)\" = 2770:quillmoor98
    test \"\$(stat -c %a:%G /etc/quillmoor98/Quillmoor98.ini)\" = 660:quillmoor98
    ! ldd /usr/bin/quillmoor98 | grep \"not found\"
    quillmoor98 --version
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q quillmoor98 >/dev/null
    test ! -e /var/lib/quillmoor98 && test ! -e /etc/quillmoor98
  "
' sh "$root" "$(basename "$deb")"
echo "fresh root install: installed, checked and purged"
