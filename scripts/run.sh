#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# `make run`: the program on the simulated server, with a demo that lets
# client computers come, open files and go. Settings and data live in a
# folder of the build, so it needs neither root nor Samba. The desktop
# program when a display is available, the console front end otherwise.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/$build/bin"
work="$root/$build/demo"
mkdir -p "$work"

export QUILLMOOR98_SERVER="sim:$work/state.json"
export QUILLMOOR98_SYSCONFDIR="$work"
export QUILLMOOR98_PROGRAM_DIR="$work"
session_runtime=${XDG_RUNTIME_DIR:-}
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$work}"

cp "$root/data/demo/state.json" "$work/state.json"
cp "$root/data/help/Quillmoor98.hlp" "$work/Quillmoor98.hlp"
"$bin/quillmoor98-simdemo" "$work/state.json" --seconds 3 &
driver=$!
trap 'kill $driver 2>/dev/null || true' EXIT INT TERM

echo "Quillmoor 98 demo: simulated server at $work/state.json, data in $work"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "The desktop program lives in the notification area (tray). Exit from its menu; the demo's"
  echo "administrator password is empty."
  "$bin/quillmoor98" && exit 0
fi
# ctl finds the console's socket under the session's XDG_RUNTIME_DIR; a
# shell without one (root's, often) needs the variable the demo prints.
socket=${QUILLMOOR98_CONTROL:-$XDG_RUNTIME_DIR/quillmoor98/control}
echo "The console front end. Ctrl+C ends it (the history is stored in $work/Tree.dat)."
echo "Its control socket is $socket; from another shell:"
if [ -z "${QUILLMOOR98_CONTROL:-}" ] && [ -n "$session_runtime" ]; then
  printf '  %q ctl status\n' "$bin/quillmoor98"
else
  printf '  export QUILLMOOR98_CONTROL=%q\n  %q ctl status\n' "$socket" "$bin/quillmoor98"
fi
# Not exec: the demo driver is ended when the console ends.
"$bin/quillmoor98" --console
