#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# Scrape latency of a metrics endpoint under a slow-client or a wrong-password flood,
# all on loopback (64 connections from 127.0.0.10-25, scrapes from 127.0.0.2 once a second):
#   bench/metrics-flood.py build/bin/quillmoor98 slow|password SECONDS
import base64, json, os, shutil, socket, subprocess, sys, tempfile, threading, time

program, mode, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
work = tempfile.mkdtemp(prefix="qm-flood-")
json.dump({"shares": [{"name": "DOCS", "path": "/srv/docs", "type": 0}],
           "connections": [{"share": "DOCS", "client": "PC1", "user": "alice"}], "files": [],
           "sessions": [{"client": "PC1", "user": "alice", "key": 17, "address": "127.0.0.1"}]},
          open(work + "/state.json", "w"))
env = dict(os.environ, QUILLMOOR98_SERVER="sim:" + work + "/state.json",
           QUILLMOOR98_SYSCONFDIR=work, QUILLMOOR98_PROGRAM_DIR=work, XDG_RUNTIME_DIR=work)
s = socket.socket(); s.bind(("127.0.0.1", 0)); port = s.getsockname()[1]; s.close()
args = [program, "--console", "--metrics", "127.0.0.1:%d" % port]
auth = ""
if mode == "password":
    # htpasswd -nbBC 10 prometheus s3cret
    open(work + "/web.yml", "w").write("basic_auth_users:\n  prometheus: "
        "$2y$10$40v.rfkU93cUOdzuvnfLr.OQ4KSty4WvWm9qZKBrIlTVY3rQonyZK\n")
    args += ["--web-config", work + "/web.yml"]
    auth = "Authorization: Basic %s\r\n" % base64.b64encode(b"prometheus:s3cret").decode()
child = subprocess.Popen(args, env=env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                         stderr=open(work + "/stderr.txt", "w"))
stop = time.time() + seconds

def connect(src):
    c = socket.socket(); c.bind((src, 0)); c.settimeout(10); c.connect(("127.0.0.1", port)); return c

def scrape(src="127.0.0.2"):
    t = time.time()
    try:
        c = connect(src)
        c.sendall(("GET /metrics HTTP/1.0\r\nHost: x\r\n%s\r\n" % auth).encode())
        data = b""
        while True:
            b = c.recv(65536)
            if not b: break
            data += b
        c.close()
        return time.time() - t, data[:12].decode(errors="replace")
    except OSError as e:
        return time.time() - t, "error " + type(e).__name__

def slow(src):
    while time.time() < stop:
        try:
            c = connect(src)
            c.sendall(b"GET /metrics HTTP/1.1\r\n")
            while time.time() < stop:
                time.sleep(2)
                c.sendall(b"X")
        except OSError:
            time.sleep(0.05)

def guess(src):
    bad = base64.b64encode(b"prometheus:guess%d" % os.getpid()).decode()
    while time.time() < stop:
        try:
            c = connect(src)
            c.sendall(("GET /metrics HTTP/1.0\r\nAuthorization: Basic %s\r\n\r\n" % bad).encode())
            while c.recv(65536): pass
            c.close()
        except OSError:
            time.sleep(0.01)

for _ in range(50):
    if scrape()[1].endswith("200"): break
    time.sleep(0.2)
print("idle scrape:", "%.3f s %s" % scrape())
workers = [threading.Thread(target=slow if mode == "slow" else guess, args=("127.0.0.%d" % (10 + i % 16),), daemon=True)
           for i in range(64)]
for w in workers: w.start()
time.sleep(3)
results = []
while time.time() < stop:
    results.append(scrape()); time.sleep(1)
ok = [t for t, st in results if st.endswith("200")]
print("%s flood: %d scrapes, %d answered 200; latency of those: min %.3f median %.3f max %.3f s; others: %s" % (
    mode, len(results), len(ok), min(ok) if ok else 0, sorted(ok)[len(ok)//2] if ok else 0, max(ok) if ok else 0,
    sorted(set(st for t, st in results if not st.endswith("200")))))
child.stdin.close(); child.terminate(); child.wait()
shutil.rmtree(work)
