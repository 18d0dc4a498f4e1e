// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>

#include "core/Ports.h"
#include "core/Resources.h"
#include "enforce/DisconnectList.h"

namespace qm {

// The ways a person changes the Disconnect List: its dialog's "Add user",
// and the main window's add and remove of the selected user. Each shows
// its refusal in an information box and says whether the list changed.
class DisconnectListCommands {
 public:
  // The user name dialog gave name (empty when it was not confirmed) and
  // address. Both are stored without the blanks at their ends, the name
  // upper-cased.
  static bool DialogAddUser(DisconnectList& list, MessageBoxes& messages, const std::string& name,
                            const std::string& address);

  // selected: the record of the selected tree node, or null. An address
  // that the lookup gave up on is stored as "I don't know".
  static bool AddSelectedUser(DisconnectList& list, MessageBoxes& messages,
                              const TTreeNodeCustom* selected);
  static bool RemoveSelectedUser(DisconnectList& list, MessageBoxes& messages,
                                 const TTreeNodeCustom* selected);
};

}  // namespace qm
