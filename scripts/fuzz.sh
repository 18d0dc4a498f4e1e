#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# Runs every libFuzzer target of a fuzz build for FUZZ_SECONDS seconds each
# (default 60), one after the other. The corpus grows in
# <build>/fuzz-corpus/<target>/ and starts from fuzz/seeds/<target>/; a
# crashing input is saved in <build>/fuzz-artifacts/<target>/.
# FUZZ_SECONDS=0 runs each seed of fuzz/seeds/<target>/ once instead, as a
# regression test (nothing is written).
# Usage: scripts/fuzz.sh [BUILD_DIR] [TARGET...]   (BUILD_DIR default build-fuzz)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-fuzz}
shift || true
seconds=${FUZZ_SECONDS:-60}

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for src in "$root"/fuzz/*.cpp; do
    targets+=("$(basename "$src" .cpp)")
  done
fi

status=0
for target in "${targets[@]}"; do
  bin="$build/bin/$target"
  if [ ! -x "$bin" ]; then
    echo "== $target: not built ($bin missing)" >&2
    status=1
    continue
  fi
  if [ "$seconds" = 0 ]; then
    mapfile -t inputs < <(find "$root/fuzz/seeds/$target" -type f 2>/dev/null | sort)
    echo "== $target: ${#inputs[@]} seeds"
    if [ ${#inputs[@]} -gt 0 ] && ! "$bin" "${inputs[@]}" >"$build/$target.replay.log" 2>&1; then
      tail -n 30 "$build/$target.replay.log" >&2
      echo "== $target: FAILED on a seed, see $build/$target.replay.log" >&2
      status=1
    fi
    continue
  fi
  corpus="$build/fuzz-corpus/$target"
  artifacts="$build/fuzz-artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  seeds=()
  [ -d "$root/fuzz/seeds/$target" ] && seeds=("$root/fuzz/seeds/$target")
  echo "== $target: ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/" \
      "$corpus" "${seeds[@]}"; then
    echo "== $target: FAILED, see $artifacts" >&2
    status=1
  fi
done
exit $status
