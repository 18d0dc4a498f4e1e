#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
"""The Cockpit page in Debian's headless Chromium, driven through WebDriver,
served by a real cockpit-ws on loopback, over the console front end on the
simulated server. Measures the time from a client's arrival (written into
the state file) to the page showing it; checks that the Disconnect button
ends exactly that client and that a list entry added on the page is in
KickList.dat after the program stops.

Usage: cockpit_page_test.py PROGRAM PAGE_FOLDER WORK_FOLDER
Exit 77 (skipped) where no browser can run, except in CI (CI=true)."""
import json
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import time
from pathlib import Path

COCKPIT_WS = next((p for p in ("/usr/lib/cockpit/cockpit-ws", "/usr/libexec/cockpit-ws")
                   if os.access(p, os.X_OK)), None)


def unavailable(why):
    if os.environ.get("CI") == "true":
        print(f"FAIL: {why}; scripts/install-deps.sh installs it")
        sys.exit(1)
    print(f"SKIP: {why}")
    sys.exit(77)


try:
    import jsonschema
    from selenium import webdriver
    from selenium.webdriver.common.by import By
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError as e:
    unavailable(f"python3-{e.name.split('.')[0]} is not installed")
for tool in ("chromium", "chromedriver", "cockpit-bridge"):
    if not shutil.which(tool):
        unavailable(f"{tool} is not installed")
if not COCKPIT_WS:
    unavailable("cockpit-ws is not installed")

program, page, work = sys.argv[1], Path(sys.argv[2]).resolve(), Path(sys.argv[3])
shutil.rmtree(work, ignore_errors=True)
(work / "run").mkdir(parents=True, mode=0o700)
(work / "share" / "cockpit").mkdir(parents=True)
(work / "home").mkdir()
(work / "share" / "cockpit" / "quillmoor98").symlink_to(page)
state_file, control = work / "state.json", work / "run" / "control"
clients = {}


def write_state():
    state = {"shares": [{"name": "DOCS", "path": "/srv/docs", "type": 0},
                        {"name": "LASER", "path": "/var/spool/samba", "type": 1}],
             "connections": [], "files": [], "sessions": []}
    for name, (address, files) in clients.items():
        account = "user-" + name.lower()
        state["connections"].append({"share": "DOCS", "client": name, "user": account})
        state["sessions"].append({"client": name, "user": account, "key": 0, "address": address})
        for f in files:
            state["files"].append({"share": "DOCS", "client": name, "user": account,
                                   "path": "/srv/docs/" + f})
    temporary = state_file.with_suffix(".tmp")
    temporary.write_text(json.dumps(state))
    temporary.rename(state_file)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


clients["ACCOUNTS-PC"] = ("127.0.0.1", ["budget-2027.ods", "invoices/december.pdf"])
clients["RECEPTION"] = ("127.0.0.1", ["letters/welcome.odt"])
write_state()
env = dict(os.environ, QUILLMOOR98_SERVER=f"sim:{state_file}", QUILLMOOR98_SYSCONFDIR=str(work),
           QUILLMOOR98_PROGRAM_DIR=str(work), XDG_RUNTIME_DIR=str(work / "run"), HOME=str(work / "home"))
env.pop("JOURNAL_STREAM", None)
monitor = subprocess.Popen([program, "--console", "--control", str(control)], env=env,
                           stdout=open(work / "console.out", "w"), stderr=open(work / "console.err", "w"))
port = free_port()
cockpit = subprocess.Popen([COCKPIT_WS, "--no-tls", "--local-session=cockpit-bridge", "--address",
                            "127.0.0.1", "--port", str(port)],
                           env=dict(env, XDG_DATA_DIRS=f"{work / 'share'}:/usr/share"),
                           stdout=open(work / "cockpit.out", "w"), stderr=subprocess.STDOUT)
options = webdriver.ChromeOptions()
for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 "--window-size=1280,860", f"--user-data-dir={work / 'chromium'}"):
    options.add_argument(argument)
options.binary_location = shutil.which("chromium")
options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
browser = None
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def rows():
    # One reading in the page: a re-render between two reads is no failure.
    return browser.execute_script(
        "return [...document.querySelectorAll('#qm-users tr.qm-user')].map(r => r.dataset.client)")


def wait(what, condition, timeout=30):
    WebDriverWait(browser, timeout, poll_frequency=0.05).until(lambda _: condition(), what)


try:
    for _ in range(100):
        if control.exists():
            break
        time.sleep(0.1)
    try:
        browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    except Exception as e:  # a browser that cannot start here
        unavailable(f"headless Chromium does not start: {e}")
    browser.get(f"http://127.0.0.1:{port}/cockpit/@localhost/quillmoor98/index.html#/?socket={control}")
    wait("the first clients on the page", lambda: set(rows()) == {"ACCOUNTS-PC", "RECEPTION"})

    # Arrival to display: a watcher in the page notes when the row appears.
    latencies = []
    for i in range(5):
        name = f"LAPTOP-{i}"
        browser.execute_script("""
            const name = arguments[0];
            window.qmSeen = null;
            new MutationObserver((changes, observer) => {
                if (document.querySelector(`#qm-users tr[data-client="${name}"]`)) {
                    window.qmSeen = Date.now(); observer.disconnect();
                }
            }).observe(document.getElementById("qm-users"), { childList: true, subtree: true });""", name)
        time.sleep(0.37 * i)  # arrivals at different moments of the refresh cycle
        clients[name] = ("127.0.0.2", [])
        write_state()
        arrived = time.time() * 1000
        wait(f"{name} on the page", lambda: browser.execute_script("return window.qmSeen"))
        latencies.append(browser.execute_script("return window.qmSeen") - arrived)
    print("arrival to page, ms:", " ".join(f"{v:.0f}" for v in latencies),
          f"median {statistics.median(latencies):.0f} max {max(latencies):.0f}")
    (work / "latency.txt").write_text(" ".join(f"{v:.0f}" for v in latencies) + "\n")

    for i in range(1, 5):
        del clients[f"LAPTOP-{i}"]
    write_state()
    wait("the departed laptops gone", lambda: set(rows()) == {"ACCOUNTS-PC", "RECEPTION", "LAPTOP-0"})
    time.sleep(0.5)
    browser.save_screenshot(str(work / "cockpit-page.png"))

    # Disconnect: exactly that client ends.
    browser.find_element(By.CSS_SELECTOR, 'button[data-client="RECEPTION"]').click()
    wait("the confirmation", lambda: browser.find_element(By.ID, "qm-confirm").is_displayed(), 5)
    browser.find_element(By.ID, "qm-confirm-yes").click()
    wait("RECEPTION gone from the page", lambda: "RECEPTION" not in rows())
    state = json.loads(state_file.read_text())
    check({s["client"] for s in state["sessions"]} == {"ACCOUNTS-PC", "LAPTOP-0"},
          f"only RECEPTION's session ended: {state['sessions']}")
    check(set(rows()) == {"ACCOUNTS-PC", "LAPTOP-0"}, f"the others stay on the page: {rows()}")

    # The disconnect status switch and the Disconnect List editor.
    browser.find_element(By.CSS_SELECTOR, '#qm-kick button[data-status="list"]').click()
    wait("the status switch", lambda: "pf-m-selected" in browser.find_element(
        By.CSS_SELECTOR, '#qm-kick button[data-status="list"]').get_attribute("class"), 10)
    browser.find_element(By.CSS_SELECTOR, 'button[data-tab="list"]').click()
    browser.find_element(By.ID, "qm-list-name").send_keys("visitor-pc")
    browser.find_element(By.ID, "qm-list-address").send_keys("10.0.0.7")
    browser.find_element(By.ID, "qm-list-add").click()
    wait("the list entry", lambda: browser.find_elements(By.CSS_SELECTOR, '#qm-list tr[data-name="VISITOR-PC"]'), 10)
    # "Export as text log" saves the text log, as ctl history --text gives it.
    downloads = work / "downloads"
    browser.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": str(downloads)})
    browser.find_element(By.CSS_SELECTOR, 'button[data-tab="history"]').click()
    browser.find_element(By.ID, "qm-export").click()
    exported = downloads / "former-connections.log"
    wait("the exported log", exported.exists, 15)
    text = subprocess.run([program, "ctl", "--socket", str(control), "history", "--text"],
                          capture_output=True, check=True).stdout
    check(exported.read_bytes().split(b"\r\n", 1)[1] == text.split(b"\r\n", 1)[1],
          "the exported log is the text log after its header line")
    browser.find_element(By.CSS_SELECTOR, 'button[data-tab="settings"]').click()
    idle = browser.find_element(By.ID, "qm-setting-Idle")
    idle.clear()
    idle.send_keys("5")
    browser.find_element(By.ID, "qm-settings-save").click()
    wait("the saved setting", lambda: browser.execute_script(
        "return document.getElementById('qm-setting-Idle').value === '5'"
        " && document.getElementById('qm-alert').classList.contains('qm-hidden')"), 10)
    # Every answer follows docs/control.schema.json.
    schema = json.loads((page.parent.parent / "docs" / "control.schema.json").read_text())
    for path, definition in (("/v1/status", "statusAnswer"), ("/v1/users", "usersAnswer"),
                             ("/v1/history", "historyAnswer"), ("/v1/disconnect-list", "listAnswer"),
                             ("/v1/disconnect-status", "disconnectStatusAnswer"),
                             ("/v1/settings", "settings"), ("/v1/nothing", "error")):
        with socket.socket(socket.AF_UNIX) as s:
            s.connect(str(control))
            s.sendall(f"GET {path} HTTP/1.0\r\n\r\n".encode())
            answer = b"".join(iter(lambda: s.recv(65536), b""))
        body = json.loads(answer.split(b"\r\n\r\n", 1)[1])
        try:
            jsonschema.validate(body, {**schema, "$ref": f"#/$defs/{definition}"})
        except jsonschema.ValidationError as e:
            check(False, f"{path} against {definition}: {e.message}")
except Exception:
    if browser:
        browser.save_screenshot(str(work / "failure.png"))
        print("page:", browser.find_element(By.TAG_NAME, "body").text[:2000])
        for entry in browser.get_log("browser"):
            print("browser:", entry)
    raise
finally:
    if browser:
        browser.quit()
    cockpit.terminate()
    monitor.send_signal(signal.SIGTERM)
    monitor.wait(30)
    cockpit.wait(30)

kick_list = (work / "KickList.dat").read_bytes()
check(kick_list == b"VISITOR-PC\r\n10.0.0.7\r\n", f"KickList.dat after the stop: {kick_list!r}")
settings = (work / "Quillmoor98.ini").read_text()
check("Idle=5" in settings and "WhoToKick=1" in settings, "the settings written at the stop")
console = (work / "console.out").read_text()
check(f"uid {os.getuid()}: disconnect RECEPTION" in console, "the disconnection recorded with its uid")
if failures:
    sys.exit(1)
print("cockpit page: all checks passed")
