// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "core/ListingCache.h"

namespace qm {

void ListingCache::Files::Start(std::uint64_t round) {
  PolledRound = round;
  Matching = Listed.Round + 1 == round;
  Matched = MatchedBytes = 0;
  Now.Names.clear();
  Now.Entries.clear();
}

void ListingCache::Files::StopMatching(std::uint64_t round) {
  if (!Matching) return;
  Matching = false;
  for (std::size_t i = 0; i < Matched; ++i) Listed.Entries[i]->SeenRound = round;
  Now.Names.assign(Listed.Names, 0, MatchedBytes);
  Now.Entries.assign(Listed.Entries.begin(),
                     Listed.Entries.begin() + static_cast<std::ptrdiff_t>(Matched));
}

ListingCache::Connections& ListingCache::ConnectionsOf(const std::string& share,
                                                       std::uint64_t round) {
  Connections& order = connections_[share];
  // Only the order of the round before is known to be alive.
  if (order.Round + 1 == round) {
    order.Last.swap(order.Now);
  } else {
    order.Last.clear();
  }
  order.Now.clear();
  order.Round = round;
  return order;
}

ListingCache::Files& ListingCache::FilesOf(ShareEntry& share) {
  auto [it, added] = filesOf_.try_emplace(&share, nullptr);
  if (added) {
    if (free_.empty()) {
      it->second = &files_.emplace_back();
    } else {
      it->second = free_.back();
      free_.pop_back();
    }
    it->second->Share = &share;
  }
  return *it->second;
}

void ListingCache::Settle(std::uint64_t round) {
  // Shares gone from the server take their orders along.
  std::erase_if(connections_, [round](const auto& o) { return o.second.Round != round; });
  for (Files& f : files_) {
    if (!f.Share) continue;
    // An entry the round did not poll may end in its sweep.
    if (f.PolledRound != round) {
      filesOf_.erase(f.Share);
      f = Files();
      free_.push_back(&f);
      continue;
    }
    if (f.Matching && f.Matched == f.Listed.Entries.size()) {
      f.Share->FilesSeenRound = round;
    } else {
      f.StopMatching(round);
      f.Listed.Names.swap(f.Now.Names);
      f.Listed.Entries.swap(f.Now.Entries);
    }
    f.Listed.Round = round;
  }
}

}  // namespace qm
