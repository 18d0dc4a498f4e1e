#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
#
# Gives every source file of the repository the licence's SPDX line and a
# copyright line, at its top (after a "#!" line): "// " for C++, "# " for
# scripts and CMake. Files that have an SPDX line are left alone, so it can
# run any number of times.
#   scripts/spdx-headers.sh          adds the lines where they are missing
#   scripts/spdx-headers.sh --check  lists the files without them; exit 1 if any
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
spdx="SPDX-License-Identifier: GPL-3.0-or-later"
copyright="Copyright (C) 2026 The Quillmoor 98 developers"
check=no
[ "${1:-}" = --check ] && check=yes

# Tracked files (a fresh clone has no others), or every file outside build
# folders when this is no git checkout.
list_files() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files
  else
    find . -type f -not -path './build*' -not -path './.git/*' | sed 's#^\./##'
  fi
}

comment_of() {
  case "$1" in
    *.cpp | *.h | *.hpp | *.c) echo "//" ;;
    *.sh | *.py | *.cmake | */CMakeLists.txt | CMakeLists.txt | Makefile | *.yml | *.yaml) echo "#" ;;
    packaging/completion/*) echo "#" ;;
    *) echo "" ;;
  esac
}

missing=0
while IFS= read -r file; do
  mark=$(comment_of "$file")
  [ -n "$mark" ] && [ -f "$file" ] || continue
  # Seeds and test data are inputs, not sources.
  case "$file" in fuzz/seeds/* | tests/*/data/*) continue ;; esac
  head -n 5 "$file" | grep -q "SPDX-License-Identifier:" && continue
  missing=$((missing + 1))
  if [ "$check" = yes ]; then
    echo "$file"
    continue
  fi
  tmp=$(mktemp "$file.XXXXXX")
  {
    if head -n 1 "$file" | grep -q '^#!'; then
      head -n 1 "$file"
      printf '%s %s\n%s %s\n' "$mark" "$spdx" "$mark" "$copyright"
      tail -n +2 "$file"
    else
      printf '%s %s\n%s %s\n' "$mark" "$spdx" "$mark" "$copyright"
      cat "$file"
    fi
  } >"$tmp"
  chmod --reference="$file" "$tmp"
  mv "$tmp" "$file"
done < <(list_files)

if [ "$check" = yes ]; then
  [ "$missing" -eq 0 ] || { echo "$missing files without an SPDX line" >&2; exit 1; }
  exit 0
fi
echo "SPDX lines added to $missing files"
