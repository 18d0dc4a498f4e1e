// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/ServerBackendFactory.h"

#include <cstdlib>

#include "platform/samba/SambaServerBackend.h"
#include "platform/sim/SimulatedServerBackend.h"

namespace qm {

std::unique_ptr<ServerBackend> CreateServerBackend(const std::string& setting, std::string& why) {
  if (setting.empty() || setting == "samba") {
    return std::make_unique<SambaServerBackend>(SambaServerBackend::OptionsFromEnvironment());
  }
  if (setting.rfind("sim:", 0) == 0 && setting.size() > 4) {
    return std::make_unique<SimulatedServerBackend>(setting.substr(4));
  }
  why = "QUILLMOOR98_SERVER must be \"samba\" or \"sim:PATH\", not \"" + setting + "\"";
  return nullptr;
}

std::unique_ptr<ServerBackend> CreateServerBackendFromEnvironment(std::string& why) {
  const char* value = std::getenv("QUILLMOOR98_SERVER");
  return CreateServerBackend(value ? value : "", why);
}

}  // namespace qm
