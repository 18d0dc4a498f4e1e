#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
"""The console's events reach the journal as entries with their fields.

journal_test.py QUILLMOOR98: runs the program on a simulated server with
JOURNAL_STREAM naming its standard output, as systemd does, in a private
mount namespace whose /run/systemd/journal/socket is ours; reads the
entries libsystemd sends there. Needs root and unshare (exit 77 without).
"""
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile

SKIP = 77


def parse_entry(data):
    """One datagram of the journal's native protocol as a dict."""
    fields = {}
    while data:
        line_end = data.index(b"\n")
        line = data[:line_end]
        if b"=" in line:
            key, value = line.split(b"=", 1)
            data = data[line_end + 1:]
        else:  # binary-safe: NAME \n little-endian 64-bit size, value, \n
            key = line
            size = struct.unpack("<Q", data[line_end + 1:line_end + 9])[0]
            value = data[line_end + 9:line_end + 9 + size]
            data = data[line_end + 10 + size:]
        fields[key.decode()] = value.decode("utf-8", "replace")
    return fields


def inside(program, work):
    """In the private namespace: receive what the program sends."""
    subprocess.run(["mount", "--make-rprivate", "/"], check=True)
    subprocess.run(["mount", "-t", "tmpfs", "tmpfs", "/run"], check=True)
    os.makedirs("/run/systemd/journal")
    receiver = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    receiver.bind("/run/systemd/journal/socket")
    receiver.settimeout(0.5)
    state = {"shares": [{"name": "DOCS", "path": "/srv/docs", "type": 0}],
             "connections": [{"share": "DOCS", "client": "PC1", "user": "alice"},
                             {"share": "DOCS", "client": "PC2", "user": "bob"}],
             "sessions": [{"client": "PC1", "user": "alice", "key": 1, "address": "127.0.0.1"},
                          {"client": "PC2", "user": "bob", "key": 2, "address": "127.0.0.1"}]}
    with open(os.path.join(work, "state.json"), "w") as f:
        json.dump(state, f)
    with open(os.path.join(work, "Quillmoor98.ini"), "w") as f:
        f.write("[Options]\nMaxNumber=1\n")
    out_path = os.path.join(work, "out.txt")
    with open(out_path, "w") as out:
        st = os.fstat(out.fileno())
        env = dict(os.environ, QUILLMOOR98_SERVER="sim:" + work + "/state.json",
                   QUILLMOOR98_SYSCONFDIR=work, QUILLMOOR98_PROGRAM_DIR=work,
                   XDG_RUNTIME_DIR=work, JOURNAL_STREAM="%d:%d" % (st.st_dev, st.st_ino))
        run = subprocess.run([program, "--console", "--step"], input=b"\n\n", stdout=out,
                             stderr=subprocess.PIPE, env=env, timeout=60)
    entries = []
    while True:
        try:
            entries.append(parse_entry(receiver.recv(1 << 20)))
        except socket.timeout:
            break
    with open(out_path) as f:
        text = f.read()
    return run.returncode, text, entries


def main():
    program = sys.argv[1]
    if os.geteuid() != 0 or not shutil.which("unshare"):
        print("needs root and unshare: skipped")
        return SKIP
    if len(sys.argv) == 2:
        work = tempfile.mkdtemp(prefix="qm-journal-")
        try:
            return subprocess.run(["unshare", "-m", sys.executable, __file__, program, work],
                                  timeout=120).returncode
        finally:
            shutil.rmtree(work, ignore_errors=True)
    code, text, entries = inside(program, sys.argv[2])
    faults = []
    if code != 0:
        faults.append("exit status %d" % code)
    if "connected" in text or "ended" in text:
        faults.append("events also went to standard output: " + text)
    if "tick 3 users 1 files 0" not in text:
        faults.append("no tick lines: " + text)

    def find(**want):
        return [e for e in entries if all(e.get(k) == v for k, v in want.items())]

    if not find(QUILLMOOR98_CLIENT="PC1", QUILLMOOR98_EVENT="begin", QUILLMOOR98_KIND="user",
                QUILLMOOR98_ACCOUNT="alice", PRIORITY="6", SYSLOG_IDENTIFIER="quillmoor98"):
        faults.append("no begin entry of PC1")
    kicked = find(QUILLMOOR98_CLIENT="PC2", QUILLMOOR98_EVENT="end", QUILLMOOR98_KIND="share",
                  QUILLMOOR98_STATUS="kicked", QUILLMOOR98_RULE="maximum_users", PRIORITY="5")
    if not kicked or kicked[0].get("QUILLMOOR98_SHARE") != "DOCS":
        faults.append("no end entry of PC2's share by maximum_users")
    if not find(QUILLMOOR98_EVENT="end", QUILLMOOR98_STATUS="program_exited"):
        faults.append("no end entry at shutdown")
    for fault in faults:
        print("FAIL:", fault)
    if faults:
        print("entries:", json.dumps(entries, indent=1))
        return 1
    print("ok: %d journal entries with their fields" % len(entries))
    return 0


if __name__ == "__main__":
    sys.exit(main())
