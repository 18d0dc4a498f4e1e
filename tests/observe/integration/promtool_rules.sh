#!/bin/sh
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
