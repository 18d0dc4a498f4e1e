# Sourced by the package tests: what an install holds, from the build's
# layout (PREFIX UNIT_DIR DATA_DIR SETTINGS_DIR DESKTOP), and the checks both
# the install tree and the package's content share.

# expected_files PREFIX UNIT_DIR DESKTOP: "MODE PATH" per file (DESKTOP: ON
# when the program has its desktop front end), paths without
# the leading "/", sorted.
expected_files() {
  local prefix=${1#/} unit=${2#/} gui=$3
  {
    echo "755 $prefix/bin/quillmoor98"
    echo "755 $prefix/libexec/quillmoor98/quillmoor98-end-session"
    echo "755 $prefix/libexec/quillmoor98/quillmoor98-nbtstat"
    echo "644 $prefix/share/quillmoor98/Quillmoor98.hlp"
    echo "644 $prefix/share/doc/quillmoor98/README.md"
    echo "644 $prefix/share/doc/quillmoor98/samba.md"
    echo "644 $prefix/share/doc/quillmoor98/events.schema.json"
    echo "644 $prefix/share/doc/quillmoor98/control.md"
    echo "644 $prefix/share/doc/quillmoor98/control.schema.json"
    local page
    for page in manifest.json index.html quillmoor98.js quillmoor98.css; do
      echo "644 $prefix/share/cockpit/quillmoor98/$page"
    done
    local rules
    for rules in prometheus.yml quillmoor98-targets.yml quillmoor98-rules.yml \
      quillmoor98-rules.test.yml; do
      echo "644 $prefix/share/doc/quillmoor98/prometheus/$rules"
    done
    echo "440 etc/sudoers.d/quillmoor98"
    echo "644 $unit/quillmoor98.service"
    case "$gui" in
      ON | on | TRUE | true | 1 | YES | yes)
        echo "644 $prefix/share/applications/quillmoor98.desktop"
        echo "644 $prefix/share/icons/hicolor/scalable/apps/quillmoor98.svg"
        ;;
    esac
  } | sed 's#//*#/#g' | sort -k2
}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# check_unit UNIT_FILE PREFIX DATA_DIR SETTINGS_DIR STAGED_PROGRAM
check_unit() {
  local unit=$1 prefix=$2 data=$3 settings=$4 staged=$5
  grep -qx "ExecStart=$prefix/bin/quillmoor98 --console" "$unit" &&
    pass "the unit runs $prefix/bin/quillmoor98 --console" || fail "the unit's ExecStart"
  for dir in "$data" "$settings"; do
    grep -E '^ReadWritePaths=' "$unit" | grep -qw -- "$dir" &&
      pass "the unit may write $dir" || fail "the unit cannot write $dir"
  done
  grep -qx 'Restart=always' "$unit" && pass "Restart=always" || fail "no Restart=always"
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
