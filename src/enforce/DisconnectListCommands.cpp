// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/DisconnectListCommands.h"

#include "core/Text.h"

namespace qm {

bool DisconnectListCommands::DialogAddUser(DisconnectList& list, MessageBoxes& messages,
                                           const std::string& name, const std::string& address) {
  const std::string upper = AsciiUpper(TrimmedBlanks(name));
  if (upper.empty()) return false;
  if (list.FindByName(upper) >= 0) {
    messages.Information("User already in Disconnect List!");
    return false;
  }
  list.AddEntry(upper, TrimmedBlanks(address));
  return true;
}

bool DisconnectListCommands::AddSelectedUser(DisconnectList& list, MessageBoxes& messages,
                                             const TTreeNodeCustom* selected) {
  const auto* user = dynamic_cast<const TUser*>(selected);
  if (!user) {
    messages.Information("No user selected");
    return false;
  }
  if (list.FindByName(user->Name) >= 0) {
    messages.Information("User already in Disconnect list!");
    return false;
  }
  list.AddEntry(user->Name, user->IPAddress == kNotKnown ? kIDontKnow : user->IPAddress);
  return true;
}

bool DisconnectListCommands::RemoveSelectedUser(DisconnectList& list, MessageBoxes& messages,
                                                const TTreeNodeCustom* selected) {
  const auto* user = dynamic_cast<const TUser*>(selected);
  if (!user) {
    messages.Information("No user selected");
    return false;
  }
  const int i = list.FindByName(user->Name);
  if (i < 0) {
    messages.Information("User not in Disconnect list!");
    return false;
  }
  list.Remove(static_cast<std::size_t>(i));
  return true;
}

}  // namespace qm
