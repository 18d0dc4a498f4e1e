// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <vector>

#include "core/Telemetry.h"

namespace qm {

// Hands every report to each of several telemetries (the metrics, the
// event writer), in the order they were added.
class TelemetryFanOut final : public Telemetry {
 public:
  void Add(Telemetry* telemetry) { targets_.push_back(telemetry); }

  void ServerReading(bool ok, double seconds) override;
  void Disconnecting(const TUser& user, DisconnectRule rule) override;
  void LookupFinished(const TUser& user, bool found) override;
  void SecurityChanged(const TUser& user, const SessionSecurity& before) override;
  void TickFinished(const Monitor& monitor, double seconds) override;

 private:
  std::vector<Telemetry*> targets_;
};

}  // namespace qm
