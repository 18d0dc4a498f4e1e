// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/MetricsSnapshot.h"

namespace qm {

const char* RuleLabel(DisconnectRule rule) {
  switch (rule) {
    case DisconnectRule::Command:
      return "command";
    case DisconnectRule::DisconnectList:
      return "disconnect_list";
    case DisconnectRule::All:
      return "all";
    case DisconnectRule::Idle:
      return "idle";
    case DisconnectRule::MaximumUsers:
      return "maximum_users";
    case DisconnectRule::AddressFilter:
      return "address_filter";
    case DisconnectRule::ProgramWatch:
      return "program_watch";
  }
  return "unknown";
}

const char* StatusLabel(int status) {
  static const char* const kLabels[kStatusCount] = {"kicked", "logged_off", "logged_on",
                                                    "program_started", "program_exited"};
  const int code = status & 0x7F;  // only the low 7 bits are the status
  return code < static_cast<int>(kStatusCount) ? kLabels[code] : "unknown";
}

const char* KindLabel(std::size_t kind) {
  static const char* const kLabels[kKindCount] = {"user", "share", "file"};
  return kind < kKindCount ? kLabels[kind] : "file";
}

}  // namespace qm
