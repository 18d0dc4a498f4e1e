// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "resolve/LookupUserName.h"

#include "core/Resources.h"

namespace qm {

std::string LookupUserName(ServerApi& api, const std::string& computerName, bool& releaseFailed) {
  std::string result = kNotKnown;
  const int count = api.SessionsInit();
  for (int i = 0; i < count; ++i) {
    if (api.FromPlatformString(api.SessionClient(i)) == computerName) {
      result = api.FromPlatformString(api.SessionUser(i));
    }
  }
  releaseFailed = api.SessionsExit() == -1;
  return result;
}

}  // namespace qm
