// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include "core/Ports.h"
#include "enforce/DisconnectStatus.h"

namespace qm {

// The main window's status bar, first panel, as a view of the status.
class DisconnectStatusPanel final : public DisconnectStatusObserver {
 public:
  explicit DisconnectStatusPanel(MonitorView& view) : view_(view) {}
  void WhoToKickChanged(KickStatus value) override;

 private:
  MonitorView& view_;
};

}  // namespace qm
