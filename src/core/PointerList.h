// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>

#include "core/Resources.h"

namespace qm {

// A list of entries with unique names, newest first, with an index by name
// beside it (the list order is what sweeps and views observe). An entry
// seen in a polling round carries that round's number.
template <typename Entry>
class EntryList {
 public:
  using iterator = typename std::list<Entry>::iterator;

  Entry& Add(const std::string& name, typename Entry::Record* record, std::uint64_t round) {
    return Add(name, name, record, round);
  }
  // Found and removed by key, which may say more than the name.
  Entry& Add(const std::string& key, const std::string& name, typename Entry::Record* record,
             std::uint64_t round) {
    entries_.emplace_front();
    Entry& e = entries_.front();
    e.Name = name;
    e.SeenRound = round;
    e.Record_ = record;
    index_[key] = entries_.begin();
    return e;
  }
  Entry* Find(const std::string& key) {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &*it->second;
  }
  // Unlinks the entry of that name; never frees the record.
  void Remove(const std::string& key) {
    auto it = index_.find(key);
    if (it == index_.end()) return;
    entries_.erase(it->second);
    index_.erase(it);
  }
  iterator begin() { return entries_.begin(); }
  iterator end() { return entries_.end(); }
  typename std::list<Entry>::const_iterator begin() const { return entries_.begin(); }
  typename std::list<Entry>::const_iterator end() const { return entries_.end(); }
  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  Entry& front() { return entries_.front(); }

 private:
  std::list<Entry> entries_;
  std::unordered_map<std::string, iterator> index_;
};

struct FileEntry {
  using Record = TFile;
  std::string Name;
  std::uint64_t SeenRound = 0;
  TFile* Record_ = nullptr;
  TFile* File() const { return Record_; }
};

struct ShareEntry {
  using Record = TShare;
  std::string Name;
  std::uint64_t SeenRound = 0;
  TShare* Record_ = nullptr;
  EntryList<FileEntry> Files;
  TShare* Share() const { return Record_; }

  // The round in which its files were all seen as a whole (none of them
  // to sweep), though not each one marked.
  std::uint64_t FilesSeenRound = 0;
};

// A user is a client name from an address: the key that finds it in
// UserList. Without an address (a server that does not tell) the name
// alone. Program texts hold no zero byte, so no two pairs share a key.
std::string UserKey(const std::string& name, const std::string& address);

struct UserEntry {
  using Record = TUser;
  std::string Name;
  std::string Address;  // the client's address, part of its key ("" when not told)
  std::uint64_t SeenRound = 0;
  TUser* Record_ = nullptr;
  EntryList<ShareEntry> Shares;
  TUser* User() const { return Record_; }
  std::string Key() const { return UserKey(Name, Address); }
};

// The current users, and the polling round.
class UserList : public EntryList<UserEntry> {
 public:
  std::uint64_t Round() const { return round_; }
  void NextRound() { ++round_; }

 private:
  std::uint64_t round_ = 1;
};

// A new polling round: no user, share or file is seen in it yet.
void ClearSeenFlags(UserList& list);

}  // namespace qm
