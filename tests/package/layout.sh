# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# Sourced by the package tests: what an install holds, from the build's
# layout (PREFIX UNIT_DIR DATA_DIR SETTINGS_DIR DESKTOP), and the checks both
# the install tree and the package's content share.

# expected_files PREFIX UNIT_DIR DESKTOP [PACKAGE]: "MODE PATH" per file
# (DESKTOP: ON when the program has its desktop front end; PACKAGE:
# quillmoor98, quillmoor98-desktop or quillmoor98-cockpit, all when not
# given), paths without
# the leading "/", sorted.
expected_files() {
  local prefix=${1#/} unit=${2#/} gui=$3 package=${4:-all}
  {
    if [ "$package" = all ] || [ "$package" = quillmoor98 ]; then
      local doc=$prefix/share/doc/quillmoor98
      echo "755 $prefix/bin/quillmoor98"
      echo "755 $prefix/libexec/quillmoor98/quillmoor98-end-session"
      echo "755 $prefix/libexec/quillmoor98/quillmoor98-nbtstat"
      echo "755 $prefix/libexec/quillmoor98/quillmoor98-proc-links"
      echo "644 $prefix/share/quillmoor98/Quillmoor98.ini"
      echo "644 $prefix/share/man/man1/quillmoor98.1.gz"
      echo "644 $prefix/share/man/man5/quillmoor98.ini.5.gz"
      echo "644 $prefix/share/bash-completion/completions/quillmoor98"
      local file
      for file in README.md samba.md events.schema.json control.md control.schema.json \
        copyright changelog.gz grafana/quillmoor98-dashboard.json; do
        echo "644 $doc/$file"
      done
      for file in prometheus.yml quillmoor98-targets.yml quillmoor98-rules.yml \
        quillmoor98-rules.test.yml web-config.yml; do
        echo "644 $doc/prometheus/$file"
      done
      echo "440 etc/sudoers.d/quillmoor98"
      echo "644 $unit/quillmoor98.service"
      echo "644 $unit/quillmoor98-proc-links.socket"
      echo "644 $unit/quillmoor98-proc-links@.service"
    fi
    if [ "$package" = all ] || [ "$package" = quillmoor98-cockpit ]; then
      local page
      for page in manifest.json index.html quillmoor98.js quillmoor98.css; do
        echo "644 $prefix/share/cockpit/quillmoor98/$page"
      done
      echo "644 $prefix/share/doc/quillmoor98-cockpit/copyright"
      echo "644 $prefix/share/doc/quillmoor98-cockpit/changelog.gz"
    fi
    if [ "$package" = all ] || [ "$package" = quillmoor98-desktop ]; then
      case "$gui" in
        ON | on | TRUE | true | 1 | YES | yes)
          echo "755 $prefix/libexec/quillmoor98/quillmoor98-desktop"
          echo "644 $prefix/share/quillmoor98/Quillmoor98.hlp"
          echo "644 $prefix/share/applications/quillmoor98.desktop"
          echo "644 $prefix/share/icons/hicolor/scalable/apps/quillmoor98.svg"
          echo "644 $prefix/share/doc/quillmoor98-desktop/copyright"
          echo "644 $prefix/share/doc/quillmoor98-desktop/changelog.gz"
          echo "644 $prefix/share/lintian/overrides/quillmoor98-desktop"
          ;;
      esac
    fi
  } | sed 's#//*#/#g' | sort -k2
}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# same_files WHAT EXPECTED ACTUAL: two "MODE PATH" lists agree, else their
# difference is shown.
same_files() {
  if [ "$3" = "$2" ]; then
    pass "$1: the files and their modes"
  else
    fail "$1: the files differ:"
    diff <(echo "$2") <(echo "$3") || true
  fi
}

# check_unit UNIT_FILE PREFIX DATA_DIR SETTINGS_DIR STAGED_PROGRAM
check_unit() {
  local unit=$1 prefix=$2 data=$3 settings=$4 staged=$5
  grep -qx "ExecStart=$prefix/bin/quillmoor98 --console" "$unit" &&
    pass "the unit runs $prefix/bin/quillmoor98 --console" || fail "the unit's ExecStart"
  for dir in "$data" "$settings"; do
    grep -E '^ReadWritePaths=' "$unit" | grep -qw -- "$dir" &&
      pass "the unit may write $dir" || fail "the unit cannot write $dir"
  done
  grep -qx 'Restart=on-failure' "$unit" && pass "Restart=on-failure" || fail "no Restart=on-failure"
  grep -qx 'ExecReload=/bin/kill -HUP $MAINPID' "$unit" &&
    pass "systemctl reload sends SIGHUP" || fail "no ExecReload with SIGHUP"
  if ! command -v systemd-analyze >/dev/null; then
    echo "note: systemd-analyze is not installed (package systemd): the unit is not verified"
    return
  fi
  # Verified where its program is, the staged copy.
  local copy
  copy=$(mktemp -d)/quillmoor98.service
  sed "s#^ExecStart=$prefix/bin/quillmoor98#ExecStart=$staged#" "$unit" > "$copy"
  local out
  if out=$(systemd-analyze verify "$copy" 2>&1) && [ -z "$out" ]; then
    pass "systemd-analyze verify"
  else
    fail "systemd-analyze verify: $out"
  fi
  rm -rf "$(dirname "$copy")"
}

# check_program STAGED_PROGRAM PREFIX DATA_DIR SETTINGS_DIR: the program
# knows where it is installed and which folders it then uses.
check_program() {
  local help
  help=$("$1" --help 2>&1) || true
  grep -qF "Installed as $2/bin/quillmoor98," <<<"$help" &&
    pass "the program knows its installed path" || fail "the program's installed path: $help"
  grep -qF "data files in            $3" <<<"$help" &&
    pass "its data folder is $3" || fail "its data folder is not $3"
  grep -qF "Quillmoor98.ini in       $4" <<<"$help" &&
    pass "its settings folder is $4" || fail "its settings folder is not $4"
}

# check_safe_settings STAGED_PROGRAM TEMPLATE: the settings a new install
# gets disconnect nobody, where the program's own defaults (no settings
# file) would disconnect the eleventh of twelve users.
check_safe_settings() {
  local program=$1 template=$2 dir
  dir=$(mktemp -d)
  python3 - "$dir/state.json" <<'PY'
import json, sys
users = ["PC%d" % i for i in range(1, 13)]
json.dump({"shares": [{"name": "DOCS", "path": "/srv/docs", "type": 0}],
           "connections": [{"share": "DOCS", "client": u, "user": u.lower()} for u in users],
           "sessions": [{"client": u, "user": u.lower(), "key": i, "address": "127.0.0.1"}
                        for i, u in enumerate(users)]}, open(sys.argv[1], "w"))
PY
  run() {
    printf '\n\n' | QUILLMOOR98_SERVER=sim:$dir/state.json QUILLMOOR98_SYSCONFDIR=$dir/etc \
      QUILLMOOR98_PROGRAM_DIR=$dir XDG_RUNTIME_DIR=$dir "$program" --console --step 2>/dev/null |
      grep -ci kicked || true
  }
  mkdir "$dir/etc"
  local defaults safe
  defaults=$(run)
  cp "$template" "$dir/etc/Quillmoor98.ini"
  safe=$(run)
  if [ "$defaults" -gt 0 ] && [ "$safe" -eq 0 ]; then
    pass "the package's settings disconnect nobody (the program's defaults: $defaults ends by kicking)"
  else
    fail "safe settings: $safe kicked with them, $defaults without"
  fi
  rm -rf "$dir"
}
