#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# The main window (both pages), the Options dialog (both tabs) and the
# Disconnect List on the demo state, as a desktop user sees them: under
# Xvfb with a window manager (openbox) and a panel with a notification
# area (tint2), at scale 1 and 2 (QT_SCALE_FACTOR), and once more in a
# dark colour scheme set as a desktop without its own Qt settings sets one
# (qt6ct's "darker" scheme). PNG files, named ...-scale1.png,
# ...-scale2.png and ...-dark.png, go to a folder (default
# build/screenshots). SCREENSHOT_DISPLAY picks the X display (e.g. :93);
# by default Xvfb takes a free one.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
out=${2:-$root/$build/screenshots}
for tool in Xvfb openbox tint2 qt6ct; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh" >&2; exit 1; }
done
state=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$state"
}
trap cleanup EXIT

cp "$root/data/demo/state.json" "$state/state.json"
# Later arrivals and a departure, so that both pages have something to show.
"$root/$build/bin/quillmoor98-simdemo" "$state/state.json" --seconds 1 --rounds 1 >/dev/null 2>&1 &
demo=$!
sleep 4
kill "$demo" 2>/dev/null || true

if [ -n "${SCREENSHOT_DISPLAY:-}" ]; then
  display=$SCREENSHOT_DISPLAY
  Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
else
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$state/display" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [ -s "$state/display" ] && break; sleep 0.1; done
  display=":$(tr -d '[:space:]' <"$state/display")"
fi
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY=$display
openbox >/dev/null 2>&1 &
pids+=($!)
tint2 >/dev/null 2>&1 &
pids+=($!)
sleep 2
for scale in 1 2; do
  QT_SCALE_FACTOR=$scale "$root/$build/bin/ui_main_screenshots" "$state/state.json" "$out" "-scale$scale"
done
mkdir -p "$state/config/qt6ct"
printf '[Appearance]\ncustom_palette=true\ncolor_scheme_path=%s\nstyle=Fusion\n' \
  /usr/share/qt6ct/colors/darker.conf >"$state/config/qt6ct/qt6ct.conf"
XDG_CONFIG_HOME="$state/config" QT_QPA_PLATFORMTHEME=qt6ct \
  "$root/$build/bin/ui_main_screenshots" "$state/state.json" "$out" "-dark"
