#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# Runs every benchmark program of a benchmark build and prints its figures.
set -uo pipefail
build=${1:-build-bench}
status=0
for b in "$build"/bin/*Benchmark; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true || status=1
done
exit $status
