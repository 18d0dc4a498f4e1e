#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# promtool_rules.sh FOLDER: the scrape configuration and the alerting rules
# in FOLDER pass promtool's checks and the rules' unit tests. Exit 77 (skip)
# without promtool, except in CI.
set -eu
if ! command -v promtool >/dev/null 2>&1; then
  echo "promtool is not installed (scripts/install-deps.sh installs prometheus)"
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi
cd "$1"
promtool check config prometheus.yml
promtool check rules quillmoor98-rules.yml
promtool test rules quillmoor98-rules.test.yml
promtool check web-config web-config.yml >/dev/null 2>&1 ||
  promtool check web-config web-config.yml 2>&1 | grep -q 'no such file' ||
  { promtool check web-config web-config.yml; exit 1; }

# The Grafana dashboard's queries, as recording rules promtool parses
# (Grafana's variables given values), over metrics the program exports.
dashboard=../grafana/quillmoor98-dashboard.json
[ -f "$dashboard" ] || exit 0
rules=$(mktemp)
trap 'rm -f "$rules"' EXIT
python3 - "$dashboard" "$rules" <<'PY'
import json, re, sys
dashboard = json.load(open(sys.argv[1]))
exprs = [t["expr"] for p in dashboard["panels"] for t in p["targets"]]
with open(sys.argv[2], "w") as out:
    out.write("groups:\n  - name: dashboard\n    rules:\n")
    for i, e in enumerate(exprs):
        e = e.replace("$__rate_interval", "1m").replace("$server", ".*")
        out.write("      - record: dashboard_%d\n        expr: %s\n" % (i, json.dumps(e)))
# Every metric it shows is one the README's table documents.
documented = open("../../README.md").read()
for name in sorted(set(re.findall(r"quillmoor98_[a-z_]+", " ".join(exprs)))):
    name = re.sub(r"_bucket$", "", name)
    if "`%s" % name not in documented:
        sys.exit("the dashboard shows %s, which the README does not list" % name)
PY
promtool check rules "$rules" >/dev/null
