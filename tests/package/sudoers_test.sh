#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# The sudoers drop-in as sudo itself reads it: visudo accepts it, and, as
# root in a private mount namespace (a sudoers of our own, the drop-in alone
# in sudoers.d, the unprivileged user "nobody" made a member of the group,
# "daemon" not),
# sudo allows exactly the command lines the program runs, runs them without
# a password, and refuses look-alikes in words the program reads as a
# refusal for lack of rights. Sessions end only through the helper, which
# sudo runs as root and which refuses every process that is no client smbd.
# Usage: sudoers_test.sh DROP-IN-TEMPLATE END-SESSION-HELPER
set -euo pipefail
template=$1
helper=$2
skip() { echo "SKIP: $*"; exit 77; }

command -v visudo >/dev/null || skip "visudo is not installed (package sudo)"
installed=$(mktemp)
trap 'rm -f "$installed"' EXIT
sed 's#@QM_END_SESSION_TOOL@#/usr/libexec/quillmoor98/quillmoor98-end-session#g' "$template" \
  > "$installed"
visudo -cf "$installed"

[ "$(id -u)" -eq 0 ] || skip "not root: sudo's own check needs a private mount namespace"
command -v unshare >/dev/null && command -v setpriv >/dev/null || skip "util-linux is missing"
getent passwd nobody >/dev/null && getent passwd daemon >/dev/null || skip "no users nobody, daemon"
unshare --mount true 2>/dev/null || skip "mount namespaces are not available here"

rm -f "$installed"
trap - EXIT
exec unshare --mount --propagation private bash -s "$template" "$helper" <<'INNER'
set -euo pipefail
template=$1
work=$(mktemp -d /tmp/qm-sudoers-XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 0755 "$work"
mkdir "$work/sudoers.d"
# The helper where the drop-in names it, owned by root like an installed one.
helper=$work/quillmoor98-end-session
install -m 0755 "$2" "$helper"
sed "s#@QM_END_SESSION_TOOL@#$helper#g" "$template" > "$work/sudoers.d/quillmoor98"
chmod 0440 "$work/sudoers.d/quillmoor98"
visudo -cf "$work/sudoers.d/quillmoor98"
printf '%s\n' 'Defaults env_reset' \
  'Defaults secure_path="/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"' \
  'root ALL=(ALL:ALL) ALL' '@includedir /etc/sudoers.d' > "$work/sudoers"
chmod 0440 "$work/sudoers"
# The group, with nobody as its member (an existing group keeps its id).
gid=$(getent group quillmoor98 | cut -d: -f3 || true)
grep -v '^quillmoor98:' /etc/group > "$work/group"
if [ -z "$gid" ]; then
  gid=64998
  while getent group "$gid" >/dev/null; do gid=$((gid - 1)); done
fi
echo "quillmoor98:x:$gid:nobody" >> "$work/group"
mount --bind "$work/sudoers" /etc/sudoers
mount --bind "$work/sudoers.d" /etc/sudoers.d
mount --bind "$work/group" /etc/group

failures=0
check() {  # check allow|deny COMMAND...
  local want=$1; shift
  if sudo -l -U nobody "$@" >/dev/null 2>&1; then got=allow; else got=deny; fi
  if [ "$got" = "$want" ]; then
    echo "ok: $want: $*"
  else
    echo "FAIL: sudo would $got: $*"; failures=$((failures + 1))
  fi
}
# The program's command lines (Samba's own smb.conf).
check allow testparm -s
check allow testparm -s --parameter-name=piddirectory
check allow smbstatus --json
check allow smbstatus --json -p
check allow smbstatus --json -S
check allow smbstatus -L
check allow "$helper" 7
check allow "$helper" 4194304
# Look-alikes.
check deny smbstatus
check deny smbstatus --json --configfile=/tmp/evil.conf
check deny testparm -s /tmp/evil.conf
check deny testparm -s "--parameter-name=log file"
check deny testparm -s --parameter-name=pid directory
check deny testparm -s --parameter-name=piddirectory /tmp/evil.conf
# smbcontrol itself would end any process: the main smbd, nmbd, winbindd.
check deny smbcontrol 7 shutdown
check deny smbcontrol smbd shutdown
check deny smbcontrol all shutdown
check deny "$helper" 12345678
check deny "$helper" 12 13
check deny "$helper" -1
check deny "$helper" smbd
check deny "$helper" 12 --configfile=/tmp/evil.conf
check deny /bin/sh -c id

# As nobody with the group: a real run, no password asked.
as_member() { setpriv --reuid=nobody --regid="$gid" --groups="$gid" "$@"; }
if out=$(as_member sudo -n /usr/bin/testparm -s --parameter-name=piddirectory 2>/dev/null) &&
   [ -n "$out" ]; then
  echo "ok: a member runs testparm through sudo -n: $out"
else
  echo "FAIL: a member cannot run testparm through sudo -n"; failures=$((failures + 1))
fi
# The helper runs as root and refuses what is no client smbd (here init and
# the shell), in words of its own.
helper_refuses() {
  local pid=$1 want=$2 err
  if err=$(as_member sudo -n "$helper" "$pid" 2>&1 >/dev/null); then
    echo "FAIL: the helper did not refuse process $pid"; failures=$((failures + 1))
  elif grep -q "refused: .*$want" <<<"$err"; then
    echo "ok: the helper refuses process $pid: $err"
  else
    echo "FAIL: the helper on process $pid: $err"; failures=$((failures + 1))
  fi
}
helper_refuses 1 "no client smbd"
helper_refuses $$ "runs bash, not smbd"
# Refusals, for a member and for a user outside the group, must read as a
# lack of rights.
refusal() {
  local who=$1; shift
  local err
  if err=$("$@" 2>&1 >/dev/null); then
    echo "FAIL: $who was not refused"; failures=$((failures + 1)); return
  fi
  if grep -qiE 'a password is required|not in the sudoers|not allowed to' <<<"$err"; then
    echo "ok: $who refused: $err"
  else
    echo "FAIL: $who refused in words the program does not know: $err"
    failures=$((failures + 1))
  fi
}
refusal "a member asking for another command" as_member sudo -n /usr/bin/smbcontrol smbd shutdown
refusal "a member asking for smbcontrol itself" as_member sudo -n /usr/bin/smbcontrol 12 shutdown
refusal "a user outside the group" \
  setpriv --reuid=daemon --regid=daemon --clear-groups sudo -n /usr/bin/smbstatus --json

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "sudoers drop-in: all checks passed"
INNER
