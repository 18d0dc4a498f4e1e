// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/EnforcementRules.h"

namespace qm {

EnforcementRules::EnforcementRules(Monitor& monitor, ProcessList* processes)
    : m_(monitor),
      panel_(monitor.View()),
      watcher_(processes, programs_, status_),
      disconnector_(monitor, status_, list_) {
  status_.AddObserver(&panel_);
}

EnforcementRules::~EnforcementRules() {
  status_.RemoveObserver(&panel_);
}

void EnforcementRules::ProgramWatch() {
  if (m_.IsNT()) {
    watcher_.QuakeNT();
  } else {
    watcher_.Quake95();
  }
}

}  // namespace qm
