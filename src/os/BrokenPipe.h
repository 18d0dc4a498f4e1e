// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

namespace qm {

// A closed pipe or socket at the other end (standard output, a metrics
// client, a tool's input) must never end the monitor: a write to it fails
// with EPIPE instead of raising SIGPIPE.
void IgnoreBrokenPipe();

}  // namespace qm
