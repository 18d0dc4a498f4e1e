#!/usr/bin/env bash
# The Debian package as CPack builds it: its control data (name,
# dependencies, conffiles, maintainer scripts) and its content, then
# unpacked into a clean root folder.
# Usage: deb_test.sh BUILD PREFIX UNIT_DIR DATA_DIR SETTINGS_DIR DESKTOP
#        deb_test.sh --check PACKAGE.deb PREFIX UNIT_DIR DATA_DIR SETTINGS_DIR DESKTOP
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/layout.sh"
command -v dpkg-deb >/dev/null || { echo "SKIP: dpkg-deb is not installed"; exit 77; }

work=$(mktemp -d /tmp/qm-deb-XXXXXX)
trap 'rm -rf "$work"' EXIT
if [ "$1" = --check ]; then
  deb=$2
  shift
else
  command -v cpack >/dev/null || { echo "SKIP: cpack is not installed"; exit 77; }
  cpack -G DEB --config "$1/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
  deb=$(ls "$work"/out/quillmoor98_*.deb)
fi
prefix=$2 unit_dir=$3 data=$4 settings=$5 gui=$6
echo "package: $deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quillmoor98 ] && pass "Package: quillmoor98" || fail "the package name"
[[ $(basename "$deb") == quillmoor98_*_"$(field Architecture)".deb ]] &&
  pass "the file name $(basename "$deb")" || fail "the file name $(basename "$deb")"
depends=$(field Depends)
for need in 'samba (>= 2:4.16)' samba-common-bin passwd; do
  grep -qF "$need" <<<"$depends" && pass "Depends: $need" || fail "Depends lacks $need: $depends"
done
if command -v dpkg-shlibdeps >/dev/null; then
  grep -q 'libc6' <<<"$depends" && pass "library dependencies from dpkg-shlibdeps" ||
    fail "no library dependencies: $depends"
  case "$gui" in ON | on | TRUE | true | 1 | YES | yes)
    for need in libqt6widgets6 libqt6multimedia6 qt6-qpa-plugins libqt6svg6; do
      grep -q "$need" <<<"$depends" && pass "Depends: $need" || fail "Depends lacks $need"
    done ;;
  esac
fi
grep -qw sudo <<<"$(field Recommends)" && pass "Recommends: sudo" || fail "sudo is not recommended"
grep -q smbclient <<<"$depends" && fail "smbclient is a dependency" || true

dpkg-deb -e "$deb" "$work/control"
[ "$(cat "$work/control/conffiles")" = /etc/sudoers.d/quillmoor98 ] &&
  pass "conffiles: the sudoers drop-in" || fail "conffiles: $(cat "$work/control/conffiles")"
for script in postinst prerm postrm; do
  [ -x "$work/control/$script" ] && sh -n "$work/control/$script" && pass "$script is valid sh" ||
    fail "$script"
done
grep -q 'groupadd --system "$group"' "$work/control/postinst" && pass "postinst makes the group" ||
  fail "postinst does not make the group"
grep -q "^data=$data\$" "$work/control/postinst" && grep -q "^settings=$settings\$" "$work/control/postinst" &&
  grep -q 'dpkg-statoverride --update --add root "$group" 2770' "$work/control/postinst" &&
  pass "postinst gives $data and $settings to the group" || fail "postinst's folders"
grep -q 'systemctl enable' "$work/control/postinst" && fail "postinst enables the service" ||
  pass "the service is not enabled"
grep -q 'rm -rf "$dir"' "$work/control/postrm" && pass "postrm purge removes the folders" ||
  fail "postrm purge"

# The content: the same files and modes as an install tree, all root's.
listing=$(dpkg-deb -c "$deb")
actual=$(awk '$1 !~ /^d/ {print $1, $6}' <<<"$listing" | sed 's# \./# #' |
  awk '{m=0; p=$1; for (i=2;i<=10;i++){m*=2; if (substr(p,i,1)!="-") m+=1}; printf "%o %s\n", m, $2}' |
  sort -k2)
expected=$(expected_files "$prefix" "$unit_dir" "$gui")
if [ "$actual" = "$expected" ]; then
  pass "the package's files and their modes"
else
  fail "the package's files differ:"
  diff <(echo "$expected") <(echo "$actual") || true
fi
awk '{print $2}' <<<"$listing" | grep -qv '^root/root$' && fail "files not owned by root" ||
  pass "every file is root's"

# Unpacked into a clean root folder.
dpkg-deb -x "$deb" "$work/root"
check_unit "$work/root$unit_dir/quillmoor98.service" "$prefix" "$data" "$settings" \
  "$work/root$prefix/bin/quillmoor98"
check_program "$work/root$prefix/bin/quillmoor98" "$prefix" "$data" "$settings"
command -v visudo >/dev/null && visudo -cf "$work/root/etc/sudoers.d/quillmoor98" >/dev/null &&
  pass "visudo accepts the packaged drop-in" || echo "note: visudo is not installed"

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "Debian package: all checks passed"
