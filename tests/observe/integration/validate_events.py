#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
"""Validates every line of a file against the events' JSON Schema.

validate_events.py SCHEMA LINES: exit 0 when every line is valid, 1 with
the first faults otherwise, 77 when the jsonschema module is missing.
"""
import json
import sys

try:
    import jsonschema
except ImportError:
    print("python3-jsonschema is not installed", file=sys.stderr)
    sys.exit(77)

with open(sys.argv[1], encoding="utf-8") as f:
    schema = json.load(f)
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
faults = 0
count = 0
with open(sys.argv[2], encoding="utf-8") as f:
    for number, line in enumerate(f, 1):
        count += 1
        try:
            errors = list(validator.iter_errors(json.loads(line)))
        except json.JSONDecodeError as e:
            errors = [e]
        for error in errors[:3]:
            faults += 1
            print(f"line {number}: {getattr(error, 'message', error)}: {line.strip()}")
if count == 0:
    print("no lines")
    sys.exit(1)
sys.exit(1 if faults else 0)
