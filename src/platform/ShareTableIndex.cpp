// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/ShareTableIndex.h"

#include "core/Text.h"

namespace qm {

namespace {
// The key of a file's holder; the share name is upper-cased (letters a to
// z), as share names are compared without regard to case.
void HolderKey(std::u16string_view share, std::u16string_view client, std::u16string_view address,
               std::u16string& key) {
  key.assign(share);
  for (char16_t& c : key) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  key.push_back(u'\0');
  key.append(client);
  key.push_back(u'\0');
  key.append(address);
}

// path names base or something under it ("/srv/a" holds "/srv/a/x", not
// "/srv/ab/x").
bool UnderPath(std::u16string_view path, std::u16string_view base) {
  while (base.size() > 1 && base.back() == u'/') base.remove_suffix(1);
  if (base.empty() || path.substr(0, base.size()) != base) return false;
  return path.size() == base.size() || base.back() == u'/' || path[base.size()] == u'/';
}

// How many rows, besides one per row, a reading may compare against the
// reading before while it looks for where a run of changed rows ends.
constexpr std::size_t kLookAheadPerRow = 4;

// The wide rows of a new reading. A row the reading before had too (the
// same narrow texts) takes its wide texts from there, moved when no result
// holds them any more, so a reading that changed a few rows converts only
// those. Rows are matched in order; after a changed run the next equal row
// is looked for ahead, within a budget that keeps a shuffled reading linear.
template <typename Narrow, typename Wide, typename Convert>
std::shared_ptr<std::vector<Wide>> WideRows(const std::vector<Narrow>& before,
                                            const std::shared_ptr<std::vector<Wide>>& wideBefore,
                                            const std::vector<Narrow>& now, Convert convert) {
  auto rows = std::make_shared<std::vector<Wide>>();
  rows->reserve(now.size());
  const bool usable = wideBefore && wideBefore->size() == before.size();
  const bool movable = usable && wideBefore.use_count() == 1;
  std::size_t next = 0;
  std::size_t budget = kLookAheadPerRow * now.size() + 64;
  for (const Narrow& row : now) {
    std::size_t q = next;
    if (usable) {
      while (q < before.size() && !(before[q] == row)) {
        if (budget == 0) {
          q = before.size();
          break;
        }
        --budget;
        ++q;
      }
    }
    if (usable && q < before.size()) {
      rows->push_back(movable ? std::move((*wideBefore)[q]) : (*wideBefore)[q]);
      next = q + 1;
    } else {
      rows->push_back(convert(row));
    }
  }
  return rows;
}

// Clears every list of an index, keeping its keys and storage for the next
// reading; Prune then drops the keys that got nothing.
template <typename Map>
void ClearLists(Map& index) {
  for (auto& [key, list] : index) list.clear();
}
template <typename Map>
void Prune(Map& index) {
  std::erase_if(index, [](const auto& entry) { return entry.second.empty(); });
}
}  // namespace

void ShareTableIndex::NarrowHolderKey(const std::string& share, const std::string& client,
                                      const std::string& address) {
  Utf8ToUtf16(share, holderShare_);
  Utf8ToUtf16(client, holderClient_);
  Utf8ToUtf16(address, holderAddress_);
  HolderKey(holderShare_, holderClient_, holderAddress_, holderKey_);
}

void ShareTableIndex::Rebuild(const ServerTables& now, const ServerTables& before, bool is95) {
  // The indexes keep their keys from one reading to the next, so a reading
  // like the one before allocates next to nothing.
  ClearLists(connectionsByShare_);
  ClearLists(filesByUser_);
  ClearLists(filesByHolder_);
  filesOfNoClient_.clear();
  filesWithoutShare_ = false;
  if (is95) {
    wideConnections_ = std::make_shared<std::vector<CONNECTION_INFO_1>>();
    wideFiles_ = std::make_shared<std::vector<FILE_INFO_3>>();
  } else {
    wideConnections_ =
        WideRows(before.connections, wideConnections_, now.connections,
                 [](const ServerTables::Connection& c) {
                   return CONNECTION_INFO_1{Utf8ToUtf16(c.client), Utf8ToUtf16(c.user),
                                            Utf8ToUtf16(c.address)};
                 });
    wideFiles_ = WideRows(before.files, wideFiles_, now.files, [](const ServerTables::OpenFile& f) {
      return FILE_INFO_3{Utf8ToUtf16(f.path), Utf8ToUtf16(f.user)};
    });
  }
  for (std::size_t i = 0; i < now.connections.size(); ++i) {
    connectionsByShare_[AsciiUpper(now.connections[i].share)].push_back(i);
  }
  // A client's files mostly come one after another: a row with the row
  // before's account and holder goes to the same lists without a lookup.
  const ServerTables::OpenFile* last = nullptr;
  std::vector<std::size_t>* userFiles = nullptr;
  std::vector<std::uint32_t>* holderFiles = nullptr;
  for (std::size_t i = 0; i < now.files.size(); ++i) {
    const auto& f = now.files[i];
    if (!last || f.user != last->user) userFiles = &filesByUser_[f.user];
    userFiles->push_back(i);
    if (is95) {
      last = &f;
      continue;
    }
    if (f.client.empty()) {
      filesOfNoClient_.push_back(static_cast<std::uint32_t>(i));
    } else {
      filesWithoutShare_ = filesWithoutShare_ || f.share.empty();
      if (!last || !holderFiles || f.client != last->client || f.share != last->share ||
          f.address != last->address) {
        NarrowHolderKey(f.share, f.client, f.address);
        holderFiles = &filesByHolder_[holderKey_];
      }
      holderFiles->push_back(static_cast<std::uint32_t>(i));
    }
    last = &f;
  }
  Prune(connectionsByShare_);
  Prune(filesByUser_);
  Prune(filesByHolder_);
  filesOfConnection_.assign(now.connections.size(), nullptr);
  if (!is95) {
    for (std::size_t i = 0; i < now.connections.size(); ++i) {
      const auto& c = now.connections[i];
      NarrowHolderKey(c.share, c.client, c.address);
      if (auto it = filesByHolder_.find(holderKey_); it != filesByHolder_.end()) {
        filesOfConnection_[i] = &it->second;
      }
    }
  }
}

const std::vector<std::size_t>* ShareTableIndex::ConnectionsOf(const std::string& share) const {
  const auto it = connectionsByShare_.find(AsciiUpper(share));
  return it == connectionsByShare_.end() ? nullptr : &it->second;
}

const std::vector<std::size_t>* ShareTableIndex::FilesOf(const std::string& user) const {
  const auto it = filesByUser_.find(user);
  return it == filesByUser_.end() ? nullptr : &it->second;
}

void ShareTableIndex::PickFilesOfConnection(const char16_t* share, const char16_t* client,
                                            std::u16string_view address, std::uint32_t connection,
                                            std::u16string_view base, const char16_t* userName,
                                            std::vector<std::uint32_t>& picked) {
  // The client text is that very row's (of this reading, not an older
  // one): its files are known without a lookup.
  if (connection < filesOfConnection_.size() &&
      (*wideConnections_)[connection].coni1_netname.c_str() == client) {
    if (const auto* files = filesOfConnection_[connection]) picked = *files;
  } else {
    HolderKey(share, client, address, holderKey_);
    if (auto it = filesByHolder_.find(holderKey_); it != filesByHolder_.end()) {
      picked = it->second;
    }
  }
  if (base.empty()) return;
  HolderKey(u"", client, address, holderKey_);
  if (auto it = filesWithoutShare_ ? filesByHolder_.find(holderKey_) : filesByHolder_.end();
      it != filesByHolder_.end()) {
    for (std::uint32_t i : it->second) {
      if (UnderPath((*wideFiles_)[i].fi3_pathname, base)) picked.push_back(i);
    }
  }
  const std::u16string_view user = userName ? std::u16string_view(userName) : u"";
  for (std::uint32_t i : filesOfNoClient_) {
    const FILE_INFO_3& f = (*wideFiles_)[i];
    if ((!userName || f.fi3_username == user) && UnderPath(f.fi3_pathname, base)) {
      picked.push_back(i);
    }
  }
}

}  // namespace qm
