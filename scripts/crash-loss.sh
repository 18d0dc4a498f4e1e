#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# How much history a kill -9 loses: the console front end on the simulated
# server with the demo's clients coming and going, killed with SIGKILL after
# SECONDS (default 150); then every user visit the console announced is
# looked for in Tree.dat. Prints the visits begun, those stored, and the
# newest lost visit's age at the kill. Usage: scripts/crash-loss.sh [BUILD] [SECONDS]
set -euo pipefail
build=${1:-build}
seconds=${2:-150}
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/$build/bin"
work=$(mktemp -d)
trap 'kill "${driver:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

export QUILLMOOR98_SERVER="sim:$work/state.json"
export QUILLMOOR98_SYSCONFDIR="$work" QUILLMOOR98_PROGRAM_DIR="$work" XDG_RUNTIME_DIR="$work"
cp "$root/data/demo/state.json" "$work/state.json"
"$bin/quillmoor98-simdemo" "$work/state.json" --seconds 1 >/dev/null 2>&1 &
driver=$!
"$bin/quillmoor98" --console --events json >"$work/events.txt" 2>"$work/errors.txt" &
program=$!
sleep "$seconds"
kill -9 "$program"
killed=$(date +%s.%N)
wait "$program" 2>/dev/null || true

python3 - "$work/events.txt" "$work/Tree.dat" "$killed" <<'PY'
import datetime, json, struct, sys
events, tree, killed = sys.argv[1], sys.argv[2], float(sys.argv[3])
data = open(tree, 'rb').read()
stored = {}
for at in range(0, len(data) - len(data) % 392, 392):
    r = data[at:at + 392]
    if struct.unpack_from('<i', r, 386)[0] == 0:
        name = r[17:17 + r[16]].decode()
        stored.setdefault(name, []).append(struct.unpack_from('<d', r, 0)[0] * 86400)
epoch = datetime.datetime(1899, 12, 30)
lost, begun = [], 0
for line in open(events):
    e = json.loads(line)
    if e.get('event') != 'begin' or e.get('kind') != 'user':
        continue
    begun += 1
    t = datetime.datetime.fromisoformat(e['time'])
    local = (t.replace(tzinfo=None) - epoch).total_seconds()
    if not any(abs(s - local) < 1 for s in stored.get(e['client'], [])):
        lost.append(killed - t.timestamp())
print(f"user visits begun: {begun}, in Tree.dat after kill -9: {begun - len(lost)}, lost: {len(lost)}"
      + (f", the oldest lost began {max(lost):.1f} s before the kill" if lost else ""))
PY
