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

void ShareEntry::StopMatching(std::uint64_t round) {
  if (!Matching) return;
  Matching = false;
  for (std::size_t i = 0; i < Matched; ++i) Listed.Entries[i]->SeenRound = round;
  Listing.Names.assign(Listed.Names, 0, MatchedBytes);
  Listing.Entries.assign(Listed.Entries.begin(),
                         Listed.Entries.begin() + static_cast<std::ptrdiff_t>(Matched));
}

bool ShareEntry::SettleFiles(std::uint64_t round) {
  if (PolledRound != round) return false;
  if (SettledRound == round) return SettledAllSeen;
  SettledRound = round;
  SettledAllSeen = Matching && Matched == Listed.Entries.size();
  if (!SettledAllSeen) {
    StopMatching(round);
    Listed.Names.swap(Listing.Names);
    Listed.Entries.swap(Listing.Entries);
  }
  Listed.Round = round;
  return SettledAllSeen;
}

}  // namespace qm
