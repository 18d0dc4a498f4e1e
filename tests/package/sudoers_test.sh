#!/usr/bin/env bash
# The sudoers drop-in as sudo itself reads it: visudo accepts it, and, as
# root in a private mount namespace (a sudoers of our own, the drop-in alone
# in sudoers.d, the unprivileged user "nobody" made a member of the group,
# "daemon" not),
# sudo allows exactly the command lines the program runs, runs them without
# a password, and refuses look-alikes in words the program reads as a
# refusal for lack of rights.
# Usage: sudoers_test.sh DROP-IN
set -euo pipefail
dropin=$1
skip() { echo "SKIP: $*"; exit 77; }

command -v visudo >/dev/null || skip "visudo is not installed (package sudo)"
visudo -cf "$dropin"

[ "$(id -u)" -eq 0 ] || skip "not root: sudo's own check needs a private mount namespace"
command -v unshare >/dev/null && command -v setpriv >/dev/null || skip "util-linux is missing"
getent passwd nobody >/dev/null && getent passwd daemon >/dev/null || skip "no users nobody, daemon"
unshare --mount true 2>/dev/null || skip "mount namespaces are not available here"

exec unshare --mount --propagation private bash -s "$dropin" <<'INNER'
set -euo pipefail
dropin=$1
work=$(mktemp -d /tmp/qm-sudoers-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/sudoers.d"
install -m 0440 "$dropin" "$work/sudoers.d/quillmoor98"
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
check allow smbcontrol 7 shutdown
check allow smbcontrol 4194304 shutdown
# Look-alikes.
check deny smbstatus
check deny smbstatus --json --configfile=/tmp/evil.conf
check deny testparm -s /tmp/evil.conf
check deny testparm -s "--parameter-name=log file"
check deny testparm -s --parameter-name=pid directory
check deny testparm -s --parameter-name=piddirectory /tmp/evil.conf
check deny smbcontrol smbd shutdown
check deny smbcontrol all shutdown
check deny smbcontrol 12345678 shutdown
check deny smbcontrol 12 shutdown now
check deny smbcontrol --configfile=/tmp/evil.conf 12 shutdown
check deny smbcontrol "12 --configfile=/tmp/evil.conf" shutdown
check deny smbcontrol 12 debug 10
check deny /bin/sh -c id

# As nobody with the group: a real run, no password asked.
as_member() { setpriv --reuid=nobody --regid="$gid" --groups="$gid" "$@"; }
if out=$(as_member sudo -n /usr/bin/testparm -s --parameter-name=piddirectory 2>/dev/null) &&
   [ -n "$out" ]; then
  echo "ok: a member runs testparm through sudo -n: $out"
else
  echo "FAIL: a member cannot run testparm through sudo -n"; failures=$((failures + 1))
fi
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
refusal "a user outside the group" \
  setpriv --reuid=daemon --regid=daemon --clear-groups sudo -n /usr/bin/smbstatus --json

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "sudoers drop-in: all checks passed"
INNER
