#!/usr/bin/env bash
# Runs the program on the simulated server with the shipped demo state, with
# its settings and data in a folder of the build (no root, no Samba needed).
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
work="$root/$build/demo"
mkdir -p "$work"
cp "$root/data/demo/state.json" "$work/state.json"
export QUILLMOOR98_SERVER="sim:$work/state.json"
exec "$root/$build/bin/quillmoor98-demo" 5
