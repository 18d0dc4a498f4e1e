#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# cmake --install into a temporary root folder (DESTDIR): exactly the
# expected files with their modes, a valid desktop entry, a service unit
# systemd accepts, a program that knows its installed folders.
# Usage: install_tree_test.sh BUILD PREFIX UNIT_DIR DATA_DIR SETTINGS_DIR DESKTOP
set -euo pipefail
build=$1 prefix=$2 unit_dir=$3 data=$4 settings=$5 gui=$6
here=$(cd "$(dirname "$0")" && pwd)
. "$here/layout.sh"

root=$(mktemp -d /tmp/qm-install-XXXXXX)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" >/dev/null

same_files "the install tree" "$(expected_files "$prefix" "$unit_dir" "$gui")" \
  "$(cd "$root" && find . -type f -printf '%m %P\n' | sort -k2)"
for dir in "$data" "$settings"; do
  [ -d "$root$dir" ] && pass "the folder $dir" || fail "no folder $dir"
done

desktop=$root$prefix/share/applications/quillmoor98.desktop
if [ -f "$desktop" ]; then
  grep -qx "Exec=$prefix/bin/quillmoor98" "$desktop" && pass "the desktop entry starts the program" ||
    fail "the desktop entry's Exec"
  if command -v desktop-file-validate >/dev/null; then
    out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ] && pass "desktop-file-validate" ||
      fail "desktop-file-validate: $out"
  else
    echo "note: desktop-file-validate is not installed (package desktop-file-utils)"
  fi
fi

check_unit "$root$unit_dir/quillmoor98.service" "$prefix" "$data" "$settings" \
  "$root$prefix/bin/quillmoor98"
check_program "$root$prefix/bin/quillmoor98" "$prefix" "$data" "$settings"

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "install tree: all checks passed"
