// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/DisconnectStatusPanel.h"

namespace qm {

void DisconnectStatusPanel::WhoToKickChanged(KickStatus value) {
  view_.SetStatusText(0, DisconnectStatus::StatusBarText(value));
}

}  // namespace qm
