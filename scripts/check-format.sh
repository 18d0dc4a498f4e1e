#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# Fails when a C++ file of the repository is not as clang-format-14 and the
# root .clang-format would write it; lists those files.
set -euo pipefail
cd "$(dirname "$0")/.."
format=${CLANG_FORMAT:-clang-format-14}
mapfile -t files < <(git ls-files '*.cpp' '*.h')
unclean=()
for f in "${files[@]}"; do
  if ! "$format" --dry-run --Werror "$f" >/dev/null 2>&1; then unclean+=("$f"); fi
done
if [ ${#unclean[@]} -gt 0 ]; then
  printf '%s\n' "${unclean[@]}"
  echo "check-format: ${#unclean[@]} of ${#files[@]} files need $format -i" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files clean"
