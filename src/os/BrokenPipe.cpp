// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "os/BrokenPipe.h"

#include <signal.h>

namespace qm {

void IgnoreBrokenPipe() {
  ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace qm
