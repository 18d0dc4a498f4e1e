#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# Renders the dialogs, the art and a sample tree to PNG files, to look at.
# Usage: scripts/screenshots/render.sh [BUILD_DIR] [OUTPUT_DIR]
# The build must have the GUI and the tests (ui_screenshots is built with them).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
out=${2:-$build/screenshots}
ninja -C "$build" ui_screenshots
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bin/ui_screenshots" "$out"
