#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
"""Keeps the includes of src/ and tools/ inside the layers of src/README.md.

Each folder of src/ may include its own headers and those of the folders it
depends on, directly or through them (the table below, which mirrors the
libraries' links in CMakeLists.txt). Fails on an include that reaches a folder
outside that set, on a folder the table does not know, and on a cycle of
includes between files. Usage: check-layers.py [SOURCE_DIR]
"""

import re
import sys
from pathlib import Path

# What each folder builds on (the folders below it that it names).
DEPENDS = {
    "core": [],
    "os": [],
    "thread": [],
    "platform": ["core", "os"],
    "store": ["core", "os"],
    "enforce": ["core", "os"],
    "resolve": ["core", "os", "thread"],
    "observe": ["core"],
    "control": ["observe", "store", "enforce", "os", "core"],
    "app": ["control", "platform", "store", "enforce", "resolve", "observe", "thread", "os",
            "core"],
    "ui": ["app"],
    "main": ["app", "ui"],
    # The small programs built with the project: never a front end.
    "tools": ["platform", "resolve", "os", "core"],
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SUFFIXES = {".h", ".cpp"}


def closure(folder, seen=None):
    """The folders folder may include, itself among them."""
    seen = set() if seen is None else seen
    if folder in seen:
        return seen
    seen.add(folder)
    for below in DEPENDS.get(folder, []):
        closure(below, seen)
    return seen


def table_cycle():
    """A cycle in DEPENDS itself, as a list of folders, or None."""
    state = {}

    def visit(folder, path):
        state[folder] = "open"
        for below in DEPENDS.get(folder, []):
            if state.get(below) == "open":
                return path + [folder, below]
            if below not in state:
                found = visit(below, path + [folder])
                if found:
                    return found
        state[folder] = "done"
        return None

    for folder in DEPENDS:
        if folder not in state:
            found = visit(folder, [])
            if found:
                return found[found.index(found[-1]):]
    return None


def folder_of(root, path):
    rel = path.relative_to(root)
    return "tools" if rel.parts[0] == "tools" else rel.parts[1]


def resolve(root, including, name):
    """The file an include names, or None for one outside src/ and tools/."""
    first = name.split("/", 1)[0]
    if "/" in name and (root / "src" / first).is_dir():
        return root / "src" / name
    beside = including.parent / name
    if beside.exists():
        return beside
    return None


def file_cycles(graph):
    """Every include cycle between files, each once, as lists of paths."""
    cycles, state, stack = [], {}, []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for target in sorted(graph.get(node, ())):
            if state.get(target) == "open":
                cycles.append(stack[stack.index(target):] + [target])
            elif target not in state:
                visit(target)
        stack.pop()
        state[node] = "done"

    for node in sorted(graph):
        if node not in state:
            visit(node)
    return cycles


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent)
    root = root.resolve()
    problems = []

    cycle = table_cycle()
    if cycle:
        problems.append("the layer table has a cycle: " + " -> ".join(cycle))

    for folder in sorted(p.name for p in (root / "src").iterdir() if p.is_dir()):
        if folder not in DEPENDS:
            problems.append(f"src/{folder}/ has no layer: add it to DEPENDS in "
                            f"scripts/check-layers.py and to the drawing in src/README.md")

    files = sorted(p for base in ("src", "tools") for p in (root / base).rglob("*")
                   if p.suffix in SUFFIXES and p.is_file())
    graph, count = {}, 0
    for path in files:
        folder = folder_of(root, path)
        allowed = closure(folder)
        edges = graph.setdefault(path, set())
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            count += 1
            name = match.group(1)
            target = resolve(root, path, name)
            if target is None:
                continue
            edges.add(target.resolve() if target.exists() else target)
            if "/" not in name or target.parent == path.parent:
                continue
            reached = target.relative_to(root).parts[1]
            if reached not in allowed:
                problems.append(f"{path.relative_to(root)}:{number}: {folder} may not include "
                                f'"{name}" ({folder} builds on: '
                                f"{', '.join(sorted(allowed - {folder})) or 'nothing'})")

    for cycle in file_cycles(graph):
        problems.append("include cycle: " + " -> ".join(str(p.relative_to(root)) for p in cycle))

    if problems:
        print("\n".join(problems))
        print(f"check-layers: {len(problems)} problem(s)")
        return 1
    print(f"check-layers: {len(files)} files, {count} includes, no include outside its layers, "
          f"no cycle")
    return 0


if __name__ == "__main__":
    sys.exit(main())
