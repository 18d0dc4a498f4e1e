// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <memory>
#include <string>

#include "core/ServerBackend.h"

namespace qm {

// The backend that QUILLMOOR98_SERVER names: "samba" (the default) for the
// real Samba server of this computer, "sim:PATH" for the simulated server
// with its state file at PATH. Null (why set) for a value we do not know.
std::unique_ptr<ServerBackend> CreateServerBackend(const std::string& setting, std::string& why);

// The same, from the environment.
std::unique_ptr<ServerBackend> CreateServerBackendFromEnvironment(std::string& why);

}  // namespace qm
