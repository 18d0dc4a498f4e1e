#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
#
# The packages on a Debian 12 file server, booted: a root folder made by
# debootstrap (from this machine's apt sources) with Samba, booted with
# systemd-nspawn on a private network (loopback only). Reports what apt
# adds for the headless package and for the desktop package, installs the
# headless one, then checks that the service starts with every rule off,
# watches the real smbd while smbclient clients come and go, says Samba's
# stop and start once each, and that the README's journal examples work as
# printed. Downloads a system, so it is not part of ctest. As root:
#   tests/package/booted_root_test.sh BUILD [ROOT]
# ROOT: a root folder made before (debootstrap --variant=minbase
# --include=systemd,systemd-sysv,dbus,samba,smbclient,jq bookworm ROOT),
# copied, never changed; without it one is made and removed afterwards.
set -euo pipefail
build=$(realpath "$1")
[ "$(id -u)" -eq 0 ] || { echo "run as root"; exit 1; }
for tool in debootstrap systemd-nspawn nsenter; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (packages debootstrap, systemd-container)"; exit 1; }
done
. "$(dirname "$0")/layout.sh"  # pass and fail

work=$(mktemp -d /var/tmp/qm-booted-XXXXXX)
root=$work/root
nspawn=
cleanup() {
  [ -n "$nspawn" ] && kill "$nspawn" 2>/dev/null && wait "$nspawn" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
if [ -n "${2:-}" ]; then
  cp -a "$2" "$root"
else
  mirror=$(grep -hoE '^(URIs: *|deb +)https?://[^ ]+/debian/?( |$)' /etc/apt/sources.list.d/* \
    /etc/apt/sources.list 2>/dev/null | head -1 | sed -E 's/^(URIs: *|deb +)//; s/ *$//')
  debootstrap --variant=minbase --include=systemd,systemd-sysv,dbus,samba,smbclient,jq \
    bookworm "$root" "${mirror:-http://deb.debian.org/debian}" >"$work/debootstrap.log"
fi
cp "$build"/quillmoor98*.deb "$root/tmp/"
cp /etc/resolv.conf "$root/etc/resolv.conf"
server=/tmp/$(basename "$(ls "$build"/quillmoor98_*.deb)")
desktop=/tmp/$(basename "$(ls "$build"/quillmoor98-desktop_*.deb)")

# What apt would add to this Debian 12 with Samba, before anything is installed.
in_chroot() { chroot "$root" /usr/bin/env DEBIAN_FRONTEND=noninteractive "$@"; }
in_chroot apt-get update -q >/dev/null
would_add() {
  in_chroot apt-get install --no-install-recommends --assume-no "$@" 2>&1 |
    awk '/NEW packages will be installed/ {n=1; next} /^[^ ]/ {n=0} n {printf "%s", $0}
         /additional disk space/ {print ""; print}' || true
}
echo "== headless: apt install --no-install-recommends ./quillmoor98_*.deb"
headless=$(would_add "$server")
echo "$headless"
echo "== desktop: apt install --no-install-recommends ./quillmoor98*.deb"
would_add "$server" "$desktop"
if ! grep -q 'additional disk space' <<<"$headless"; then
  fail "apt did not say what the headless install adds"
elif grep -qiE 'qt6|mesa|llvm|gstreamer|pulseaudio' <<<"$headless"; then
  fail "the headless install pulls in a desktop stack"
else
  pass "the headless install adds no Qt, Mesa, LLVM, GStreamer or PulseAudio"
fi
in_chroot apt-get install -y -q --no-install-recommends "$server" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt install"; exit 1; }
pass "apt installed quillmoor98"
# Loopback is the only interface there, which Samba's tools must be told.
sed -i 's/^\[global\]$/[global]\n   interfaces = lo\n   bind interfaces only = yes/' "$root/etc/samba/smb.conf"
cat >>"$root/etc/samba/smb.conf" <<'CONF'
[data]
   path = /srv/data
   guest ok = yes
   read only = no
CONF
mkdir -p "$root/srv/data"
echo hello >"$root/srv/data/hello.txt"
# smbclient's "open" asks for writing too; the guests are "nobody".
chmod 0777 "$root/srv/data"
chmod 0666 "$root/srv/data/hello.txt"
chroot "$root" systemctl enable quillmoor98.service >/dev/null 2>&1

# Booted, on a network of its own: loopback only, which no network ever
# brings "online".
rm -f "$root/etc/machine-id"
# nmbd (NetBIOS names) finds no broadcast interface there and never gets
# ready; smbd would wait for it.
for unit in systemd-networkd-wait-online.service nmbd.service; do
  ln -sf /dev/null "$root/etc/systemd/system/$unit"
done
systemd-nspawn -q -b -D "$root" --private-network --register=no --keep-unit -M qmbooted \
  >"$work/console.log" 2>&1 &
nspawn=$!
leader=
for _ in $(seq 1 60); do
  leader=$(pgrep -P "$nspawn" | head -1 || true)
  [ -n "$leader" ] && nsenter -t "$leader" -a systemctl is-system-running --wait >/dev/null 2>&1 && break
  sleep 1
done
[ -n "$leader" ] || { cat "$work/console.log"; echo "the container did not boot"; exit 1; }
inside() { nsenter -t "$leader" -a /bin/sh -c "$1"; }
wait_for() {  # wait_for COMMAND: at most 30 s until it succeeds
  for _ in $(seq 1 60); do inside "$1" >/dev/null 2>&1 && return 0; sleep 0.5; done
  return 1
}
inside 'systemctl is-active smbd' >/dev/null && pass "smbd runs" || fail "smbd does not run"
wait_for 'systemctl is-active quillmoor98' && pass "the service started at boot" ||
  { fail "the service did not start"; inside 'journalctl -u quillmoor98 --no-pager | tail -n 20'; }
inside 'grep -qx "MaxNumber=0" /etc/quillmoor98/Quillmoor98.ini && grep -qx "Idle=0" /etc/quillmoor98/Quillmoor98.ini' &&
  pass "the settings have every rule off" || fail "the installed settings"

# Twelve clients with names of their own (Samba reports them in lower
# case), two more than the program's default maximum, each with a file
# open: none is disconnected.
for i in $(seq 1 12); do
  inside "(echo 'open hello.txt'; sleep 25; echo exit) | smbclient -N -p 139 -n PC$i //127.0.0.1/data >/dev/null 2>&1 &"
done
wait_for '[ "$(journalctl -u quillmoor98 -o cat QUILLMOOR98_EVENT=begin QUILLMOOR98_KIND=user | wc -l)" -ge 12 ]' &&
  pass "the service saw 12 users begin" || fail "the service saw $(inside 'journalctl -u quillmoor98 QUILLMOOR98_EVENT=begin QUILLMOOR98_KIND=user -o cat | wc -l') users"
wait_for 'journalctl -u quillmoor98 QUILLMOOR98_CLIENT=pc3 -o cat | grep -q "ended user pc3"' &&
  pass "README: journalctl -u quillmoor98 QUILLMOOR98_CLIENT=pc3" || fail "pc3's history"
inside 'journalctl -u quillmoor98 -o cat QUILLMOOR98_STATUS=kicked' | grep -q . &&
  fail "a user was disconnected with every rule off" || pass "nobody was disconnected"
inside 'journalctl -u quillmoor98 QUILLMOOR98_EVENT=found -o cat' | grep -q "found user pc1 (address 127.0.0.1" &&
  pass "README: journalctl -u quillmoor98 QUILLMOOR98_EVENT=found" ||
  fail "no found event: $(inside 'journalctl -u quillmoor98 -o cat | tail -n 5')"
inside 'journalctl -u quillmoor98 -p notice -o cat' >/dev/null && pass "README: journalctl -p notice"
inside 'journalctl -u quillmoor98 -o json QUILLMOOR98_KIND=file' |
  jq -c 'select(.QUILLMOOR98_PATH == "/srv/data/hello.txt")' | grep -q . &&
  pass "README: journalctl -o json QUILLMOOR98_KIND=file" || fail "no file event in JSON"

# Samba stopped and started: said once each.
inside 'systemctl stop smbd'
wait_for 'journalctl -u quillmoor98 -o cat | grep -q "smbd is not running"' || true
inside 'sleep 3; systemctl start smbd'
wait_for 'journalctl -u quillmoor98 -o cat | grep -q "smbd is running again"' || true
[ "$(inside 'journalctl -u quillmoor98 -o cat | grep -c "smbd is not running"')" = 1 ] &&
  [ "$(inside 'journalctl -u quillmoor98 -o cat | grep -c "smbd is running again"')" = 1 ] &&
  pass "smbd's stop and start are said once each" ||
  fail "smbd's stop and start: $(inside 'journalctl -u quillmoor98 -o cat | grep smbd')"

# JSON events: the README's jq lines as printed.
inside 'echo QUILLMOOR98_EVENTS=json >/etc/default/quillmoor98; systemctl restart quillmoor98'
inside "(sleep 8; echo exit) | smbclient -N -p 139 -n PC1 //127.0.0.1/data >/dev/null 2>&1 &"
wait_for "journalctl -u quillmoor98 -o cat | jq -cR 'fromjson? | select(.client == \"pc1\")' | grep -q '\"event\":\"end\"'" &&
  pass "README: journalctl -u quillmoor98 -o cat | jq -cR 'fromjson? | select(.client == \"pc1\")'" ||
  fail "the README's jq example: $(inside "journalctl -u quillmoor98 -o cat | tail -n 5")"
out=$(inside "journalctl -u quillmoor98 -o cat | jq -cR 'fromjson? | select(.event == \"found\") | [.client, .address, .host]'")
grep -q '"pc1","127.0.0.1"' <<<"$out" && pass "README: the found events with jq: $(tail -1 <<<"$out")" ||
  fail "the README's found example: $out"
end=$(inside "journalctl -u quillmoor98 -o cat | jq -cR 'fromjson? | select(.client == \"pc1\" and .event == \"end\" and .kind == \"user\")'" | tail -1)
[ "$(jq -r .address <<<"$end")" = 127.0.0.1 ] && pass "the user's end carries its address" ||
  fail "the end event: $end"

inside 'systemctl stop quillmoor98'
inside 'systemctl is-failed quillmoor98' >/dev/null && fail "the service failed" || pass "the service stopped cleanly"
[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "booted root: all checks passed"
