// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/PointerList.h"

namespace qm {

// What the server listed in the round before, so that a round that lists
// the same finds its entries without a lookup by name: each share's
// connections in the server's order, and each share entry's open files
// name for name. The refresh cycle owns it. Nothing in it is used beyond
// the round after the one it was seen in, so no pointer it follows
// outlives its entry (a sweep ends only entries not seen in its round).
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
    ShareEntry* Share = nullptr;  // the entry whose files these are
    Listing Listed, Now;
    std::uint64_t PolledRound = 0;   // the round the files were last polled in
    std::uint64_t SettledRound = 0;  // the round whose polling of them ended last
    bool Matching = false;
    std::size_t Matched = 0;       // files of Listed matched this round
    std::size_t MatchedBytes = 0;  // their names' bytes in Listed.Names

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
  // A round's polling of the files starts: it matches Listed when Listed
  // is the round before's and that round swept.
  void StartFiles(Files& files, std::uint64_t round) const;
  // Ends the polling of round for the files of the share's connections
  // (all of them: an entry is polled only through its share's list). An
  // entry whose files were listed name for name as the round before gets
  // FilesSeenRound (nothing of it to sweep); the others' matched files are
  // marked seen and their listing becomes this round's.
  void SettleShare(const Connections& order, std::uint64_t round);
  // Forgets every share's connections (a round that stopped half way).
  void ForgetConnections() { connections_.clear(); }
  // Ends round; swept: its sweep ran, so what it did not see is gone.
  // What the round did not list is forgotten.
  void EndRound(std::uint64_t round, bool swept);

 private:
  std::unordered_map<std::string, Connections> connections_;
  // Each made when its entry is first polled, so that it lies beside the
  // entry's own memory.
  std::unordered_map<const ShareEntry*, std::unique_ptr<Files>> filesOf_;
  std::size_t settled_ = 0;  // files settled in the round
  // The last round whose sweep ran: a listing of a round without one (it
  // failed, or ended in an exception) may miss files that only its sweep
  // would have ended, so the next round does not match it.
  std::uint64_t swept_ = 0;
};

}  // namespace qm
