// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "core/PointerList.h"

namespace qm {

std::string UserKey(const std::string& name, const std::string& address) {
  if (address.empty()) return name;
  std::string key;
  key.reserve(name.size() + 1 + address.size());
  key.append(name).push_back('\0');
  key.append(address);
  return key;
}

void ClearSeenFlags(UserList& list) {
  list.NextRound();
}

}  // namespace qm
