// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>

#include "core/ServerApi.h"

namespace qm {

// 95/98: the account of the last session of computerName (exact,
// case-sensitive, whole name) in the server's session list, or "Not
// known". A failed enumeration lists nothing. releaseFailed tells that
// SessionsExit failed, which the caller reports as "Debug: SessionsExit".
// Safe on a lookup thread: the binding keeps each thread's sessions apart.
std::string LookupUserName(ServerApi& api, const std::string& computerName, bool& releaseFailed);

}  // namespace qm
