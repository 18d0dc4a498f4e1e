// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "core/ConnectionTree.h"
#include "core/Monitor.h"

namespace qm {

// The control socket's JSON forms of the monitor's things (docs/control.md).
// One function per thing, so that a field added to a user is added in one
// place for the users, the history and the page alike.
class ControlJson {
 public:
  // A user with its shares and their open files, from its node in either
  // tree: who, from where, since when, how it began and, once it has
  // ended or been disconnected, how it ended.
  static nlohmann::json User(const TreeNode& node, const Monitor& monitor);
  // A date-time of the records: local time, "2026-12-07T11:09:25"; null
  // for the value 0 (an open connection's exit).
  static nlohmann::json Time(TDateTime value);
  // A text the lookup may not know yet: null for the placeholders.
  static nlohmann::json Known(const std::string& text);
  // "nobody", "list", "everybody" for KickNobody, KickList, KickAll.
  static const char* DisconnectStatusName(int whoToKick);
  // The code of a name, or -1.
  static int DisconnectStatusCode(const std::string& name);
};

}  // namespace qm
