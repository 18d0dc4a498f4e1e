// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "core/ListingCache.h"

namespace qm {

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
  std::unique_ptr<Files>& files = filesOf_[&share];
  if (!files) {
    files = std::make_unique<Files>();
    files->Share = &share;
  }
  return *files;
}

void ListingCache::StartFiles(Files& files, std::uint64_t round) const {
  files.PolledRound = round;
  files.Matching = files.Listed.Round + 1 == round && files.Listed.Round == swept_;
  files.Matched = files.MatchedBytes = 0;
  files.Now.Names.clear();
  files.Now.Entries.clear();
}

void ListingCache::SettleShare(const Connections& order, std::uint64_t round) {
  // Settled here, while the entries are fresh in memory, not in a walk of
  // every share of its own.
  for (const Place& place : order.Now) {
    Files* f = place.files;
    if (!f || f->SettledRound == round) continue;
    f->SettledRound = round;
    ++settled_;
    if (f->Matching && f->Matched == f->Listed.Entries.size()) {
      f->Share->FilesSeenRound = round;
    } else {
      f->StopMatching(round);
      f->Listed.Names.swap(f->Now.Names);
      f->Listed.Entries.swap(f->Now.Entries);
    }
    f->Listed.Round = round;
  }
}

void ListingCache::EndRound(std::uint64_t round, bool swept) {
  if (swept) swept_ = round;
  // Shares gone from the server take their orders along.
  std::erase_if(connections_, [round](const auto& o) { return o.second.Round != round; });
  // The files of entries the round did not poll go once they are as many
  // as those it did: their entries may be gone, and a new entry where one
  // lay finds a listing too old to match (its rounds tell).
  const std::size_t polled = settled_;
  settled_ = 0;
  if (filesOf_.size() <= 2 * polled + 64) return;
  std::erase_if(filesOf_, [round](const auto& f) { return f.second->PolledRound != round; });
}

}  // namespace qm
