// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <vector>

#include "core/ServerBackend.h"

namespace qm {

// What a disconnection did, as its command's answer tells it.
struct DisconnectOutcome {
  enum class Result {
    Ended,    // every session chosen was ended
    Refused,  // the server refused one (or its sessions could not be listed)
    Nothing,  // the server had no session of the user to end
  };
  struct Session {
    std::string client;
    std::string account;  // "" when the server does not tell
    std::string address;  // "" when the server does not tell
  };

  Result result = Result::Nothing;
  // The sessions the server ended, also when another was refused.
  std::vector<Session> ended;
  // With Refused: the server's status and why, in words.
  NetStatus status = NERR_Success;
  std::string reason;
  // Refused because the sessions could not be listed: nothing was asked.
  bool listingFailed = false;

  // "ended", "refused", "nothing", for the answers and the events.
  const char* Name() const {
    switch (result) {
      case Result::Ended:
        return "ended";
      case Result::Refused:
        return "refused";
      case Result::Nothing:
        break;
    }
    return "nothing";
  }
};

}  // namespace qm
