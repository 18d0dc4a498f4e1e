// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/PointerList.h"

namespace qm {

// What the server listed in the round before, so that a round that lists
// the same finds its entries without a lookup by name: each share's
// connections in the server's order, and each share entry's open files
// name for name. The refresh cycle owns it; nothing in it outlives the
// round after the one it was seen in, so no pointer in it outlives its
// entry (a sweep ends only entries not seen in its round).
class ListingCache {
 public:
  // A share entry's open files. While a round lists them name for name as
  // the round before did (Listed), no file entry is touched: Matched of
  // them are known seen. Once the round differs, every file is looked up
  // and marked, and the round's own listing is built (Now).
  struct Listing {
    std::uint64_t Round = 0;  // 0: none
    // The names one after another, each ended by a zero byte, and their
    // entries, in the server's order.
    std::string Names;
    std::vector<FileEntry*> Entries;
    void Add(const std::string& name, FileEntry* entry) {
      Names.append(name).push_back('\0');
      Entries.push_back(entry);
    }
  };
  struct Files {
    ShareEntry* Share = nullptr;  // null: a free place
    Listing Listed, Now;
    std::uint64_t PolledRound = 0;  // the round the files were last polled in
    bool Matching = false;
    std::size_t Matched = 0;       // files of Listed matched this round
    std::size_t MatchedBytes = 0;  // their names' bytes in Listed.Names

    // A new round's polling starts: it matches Listed when Listed is the
    // round before's.
    void Start(std::uint64_t round);
    // The round no longer matches Listed: the matched files are marked
    // seen and this round's listing starts with them.
    void StopMatching(std::uint64_t round);
  };

  // Which entries one connection of a share led to (files: null when its
  // files were not polled).
  struct Place {
    UserEntry* user = nullptr;
    ShareEntry* share = nullptr;
    Files* files = nullptr;
  };
  struct Connections {
    std::uint64_t Round = 0;
    std::vector<Place> Last, Now;
    // What connection at led to in the round before; null when it was not
    // listed there.
    const Place* LastAt(std::size_t at) const { return at < Last.size() ? &Last[at] : nullptr; }
  };

  // The share's connections of this round, with the round before's as
  // Last when it listed them.
  Connections& ConnectionsOf(const std::string& share, std::uint64_t round);
  // The state of the share entry's files.
  Files& FilesOf(ShareEntry& share);

  // Ends the polling of round: a share entry whose files were listed name
  // for name as the round before gets FilesSeenRound (nothing of it to
  // sweep); the others' matched files are marked seen and their listing
  // becomes this round's. What the round did not list is forgotten.
  void Settle(std::uint64_t round);

 private:
  std::unordered_map<std::string, Connections> connections_;
  // One after another, so that settling a round walks them in memory
  // order (a round settles every share); found by entry through the
  // index, and a place freed is taken again.
  std::deque<Files> files_;
  std::vector<Files*> free_;
  std::unordered_map<const ShareEntry*, Files*> filesOf_;
};

}  // namespace qm
