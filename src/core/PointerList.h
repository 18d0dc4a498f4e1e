#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/Resources.h"

namespace qm {

// A list of entries with unique names, newest first, with an index by name
// beside it (the list order is what sweeps and views observe).
template <typename Entry>
class EntryList {
 public:
  using iterator = typename std::list<Entry>::iterator;

  Entry& Add(const std::string& name, typename Entry::Record* record) {
    entries_.emplace_front();
    Entry& e = entries_.front();
    e.Name = name;
    e.Seen = true;
    e.Record_ = record;
    index_[name] = entries_.begin();
    return e;
  }
  Entry* Find(const std::string& name) {
    auto it = index_.find(name);
    return it == index_.end() ? nullptr : &*it->second;
  }
  // Unlinks the entry of that name; never frees the record.
  void Remove(const std::string& name) {
    auto it = index_.find(name);
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
  bool Seen = false;
  TFile* Record_ = nullptr;
  TFile* File() const { return Record_; }
};

struct ShareEntry {
  using Record = TShare;
  std::string Name;
  bool Seen = false;
  TShare* Record_ = nullptr;
  EntryList<FileEntry> Files;
  // The files found by the last two polls of the share, in the server's
  // order: a poll that lists them in the same order finds each without a
  // lookup by name. Set and read by the refresh cycle only; the entries
  // they point to were seen at that poll, so no sweep since has ended them.
  std::vector<FileEntry*> FileOrder, LastFileOrder;
  std::uint64_t FileOrderTick = 0;
  TShare* Share() const { return Record_; }
};

struct UserEntry {
  using Record = TUser;
  std::string Name;
  bool Seen = false;
  TUser* Record_ = nullptr;
  EntryList<ShareEntry> Shares;
  TUser* User() const { return Record_; }
};

using UserList = EntryList<UserEntry>;

// Seen = false on every user, share and file entry.
void ClearSeenFlags(UserList& list);

}  // namespace qm
