#!/usr/bin/env bash
# The main window (both pages) and the Options dialog on the demo state,
# rendered under Xvfb to PNG files in a folder (default build/screenshots).
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
out=${2:-$root/$build/screenshots}
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
cp "$root/data/demo/state.json" "$state/state.json"
# Later arrivals and a departure, so that both pages have something to show.
"$root/$build/bin/quillmoor98-simdemo" "$state/state.json" --seconds 1 --rounds 1 >/dev/null 2>&1 &
sleep 4
kill %1 2>/dev/null || true
xvfb-run -a -s "-screen 0 1280x900x24" "$root/$build/bin/ui_main_screenshots" "$state/state.json" "$out"
