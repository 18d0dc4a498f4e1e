#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# The Debian packages as CPack builds them (quillmoor98, and
# quillmoor98-desktop with the desktop front end): their control data
# (names, dependencies, conffiles, maintainer scripts), their content, the
# hardening of every program, then unpacked into a clean root folder. With
# --check (make package) lintian too, which must find no error and no
# warning.
# Usage: deb_test.sh BUILD PREFIX UNIT_DIR DATA_DIR SETTINGS_DIR DESKTOP
#        deb_test.sh --check FOLDER PREFIX UNIT_DIR DATA_DIR SETTINGS_DIR DESKTOP
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/layout.sh"
command -v dpkg-deb >/dev/null || { echo "SKIP: dpkg-deb is not installed"; exit 77; }

work=$(mktemp -d /tmp/qm-deb-XXXXXX)
trap 'rm -rf "$work"' EXIT
lint=no
if [ "$1" = --check ]; then
  out=$2
  lint=yes
  shift
else
  command -v cpack >/dev/null || { echo "SKIP: cpack is not installed"; exit 77; }
  cpack -G DEB --config "$1/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
  out=$work/out
fi
prefix=$2 unit_dir=$3 data=$4 settings=$5 gui=$6
case "$gui" in ON | on | TRUE | true | 1 | YES | yes) gui=ON ;; *) gui=OFF ;; esac
deb=$(ls "$out"/quillmoor98_*.deb)
echo "package: $deb"

field() { dpkg-deb -f "$1" "$2"; }
[ "$(field "$deb" Package)" = quillmoor98 ] && pass "Package: quillmoor98" || fail "the package name"
[[ $(basename "$deb") == quillmoor98_*_"$(field "$deb" Architecture)".deb ]] &&
  pass "the file name $(basename "$deb")" || fail "the file name $(basename "$deb")"
depends=$(field "$deb" Depends)
for need in 'samba (>= 2:4.16)' samba-common-bin passwd; do
  grep -qF "$need" <<<"$depends" && pass "Depends: $need" || fail "Depends lacks $need: $depends"
done
if command -v dpkg-shlibdeps >/dev/null; then
  grep -q 'libc6' <<<"$depends" && pass "library dependencies from dpkg-shlibdeps" ||
    fail "no library dependencies: $depends"
fi
grep -qiE 'qt6|libgl|x11' <<<"$depends" && fail "quillmoor98 pulls in a desktop stack: $depends" ||
  pass "quillmoor98 depends on no Qt and no graphics library"
grep -qw sudo <<<"$(field "$deb" Recommends)" && pass "Recommends: sudo" ||
  fail "sudo is not recommended"
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
grep -qF "$prefix/share/quillmoor98/Quillmoor98.ini \"\$settings/Quillmoor98.ini\"" \
  "$work/control/postinst" && pass "postinst installs the settings with every rule off" ||
  fail "postinst does not install the safe settings"
grep -q 'systemctl enable' "$work/control/postinst" && fail "postinst enables the service" ||
  pass "the service is not enabled"
grep -q 'rm -rf "$dir"' "$work/control/postrm" && pass "postrm purge removes the folders" ||
  fail "postrm purge"

# The content: the same files and modes as an install tree, all root's.
content() {
  dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $1, $6}' | sed 's# \./# #' |
    awk '{m=0; p=$1; for (i=2;i<=10;i++){m*=2; if (substr(p,i,1)!="-") m+=1}; printf "%o %s\n", m, $2}' |
    sort -k2
}
same_content() {
  local package=$1 file=$2
  same_files "$package" "$(expected_files "$prefix" "$unit_dir" "$gui" "$package")" "$(content "$file")"
  dpkg-deb -c "$file" | awk '{print $2}' | grep -qv '^root/root$' &&
    fail "$package: files not owned by root" || pass "$package: every file is root's"
  dpkg-deb -x "$file" "$work/root"
}
same_content quillmoor98 "$deb"

if [ "$gui" = ON ]; then
  desktop=$(ls "$out"/quillmoor98-desktop_*.deb)
  [ "$(field "$desktop" Package)" = quillmoor98-desktop ] && pass "Package: quillmoor98-desktop" ||
    fail "the desktop package's name"
  depends=$(field "$desktop" Depends)
  for need in "quillmoor98 (= $(field "$deb" Version))" libqt6widgets6 libqt6multimedia6 \
    qt6-qpa-plugins libqt6svg6; do
    grep -qF "$need" <<<"$depends" && pass "quillmoor98-desktop Depends: $need" ||
      fail "quillmoor98-desktop Depends lacks $need: $depends"
  done
  same_content quillmoor98-desktop "$desktop"
else
  ls "$out"/quillmoor98-desktop_*.deb >/dev/null 2>&1 && fail "a desktop package without a desktop"
fi

cockpit=$(ls "$out"/quillmoor98-cockpit_*.deb)
[ "$(field "$cockpit" Architecture)" = all ] && pass "quillmoor98-cockpit is for every architecture" ||
  fail "quillmoor98-cockpit's architecture"
grep -qF "quillmoor98 (= $(field "$deb" Version))" <<<"$(field "$cockpit" Depends)" &&
  pass "quillmoor98-cockpit depends on quillmoor98 of its version" ||
  fail "quillmoor98-cockpit Depends: $(field "$cockpit" Depends)"
same_content quillmoor98-cockpit "$cockpit"

check_unit "$work/root$unit_dir/quillmoor98.service" "$prefix" "$data" "$settings" \
  "$work/root$prefix/bin/quillmoor98"
check_program "$work/root$prefix/bin/quillmoor98" "$prefix" "$data" "$settings"
check_safe_settings "$work/root$prefix/bin/quillmoor98" "$work/root$prefix/share/quillmoor98/Quillmoor98.ini"
command -v visudo >/dev/null && visudo -cf "$work/root/etc/sudoers.d/quillmoor98" >/dev/null &&
  pass "visudo accepts the packaged drop-in" || echo "note: visudo is not installed"
man_out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$work/root$prefix/share/man/man1/quillmoor98.1.gz" \
  "$work/root$prefix/share/man/man5/quillmoor98.ini.5.gz" 2>&1 >/dev/null) && [ -z "$man_out" ] &&
  pass "man --warnings: the manual pages" || fail "man --warnings: $man_out"

# Debian's hardening on every program of the packages (make package, or a
# build that has the hardening flags and optimises: QM_CHECK_HARDENING=1).
if [ "$lint" = no ] && [ "${QM_CHECK_HARDENING:-0}" != 1 ]; then
  echo "note: this build is not hardened (QM_HARDENING off or a Debug build): not checked"
elif command -v hardening-check >/dev/null; then
  for program in $(find "$work/root" -type f -perm -u+x); do
    file -b "$program" | grep -q ELF || continue
    # Control-flow protection is not among Debian 12's hardening flags.
    if report=$(hardening-check --quiet --nocfprotection "$program" 2>&1) && [ -z "$report" ]; then
      pass "hardening-check ${program#"$work/root"}"
    else
      fail "hardening-check: $report"
    fi
  done
else
  echo "note: hardening-check is not installed (package devscripts)"
fi

if [ "$lint" = yes ]; then
  if command -v lintian >/dev/null; then
    if lintian --fail-on error,warning --info "$out"/quillmoor98*.deb >"$work/lintian.log" 2>&1; then
      pass "lintian: no error, no warning"
    else
      fail "lintian:"
      cat "$work/lintian.log"
    fi
  else
    fail "lintian is not installed (scripts/install-deps.sh installs it)"
  fi
fi

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "Debian packages: all checks passed"
