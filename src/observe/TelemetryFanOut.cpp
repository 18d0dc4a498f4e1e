// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/TelemetryFanOut.h"

namespace qm {

void TelemetryFanOut::ServerReading(bool ok, double seconds) {
  for (Telemetry* t : targets_) t->ServerReading(ok, seconds);
}

void TelemetryFanOut::Disconnecting(const TUser& user, DisconnectRule rule) {
  for (Telemetry* t : targets_) t->Disconnecting(user, rule);
}

void TelemetryFanOut::LookupFinished(const TUser& user, bool found) {
  for (Telemetry* t : targets_) t->LookupFinished(user, found);
}

void TelemetryFanOut::SecurityChanged(const TUser& user, const SessionSecurity& before) {
  for (Telemetry* t : targets_) t->SecurityChanged(user, before);
}

void TelemetryFanOut::TickFinished(const Monitor& monitor, double seconds) {
  for (Telemetry* t : targets_) t->TickFinished(monitor, seconds);
}

}  // namespace qm
