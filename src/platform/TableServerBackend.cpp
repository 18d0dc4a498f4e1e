// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/TableServerBackend.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/Text.h"

namespace qm {

namespace {
// Strings in 95/98 records: at most 255 bytes each, so two strings fit the
// 512 bytes and three the 768 bytes reserved per entry.
constexpr std::size_t kMax95String = 255;

std::string Narrow(const char16_t* s) {
  return s ? Utf16ToUtf8(s) : std::string();
}

std::string StripBackslashes(std::string name) {
  std::size_t n = 0;
  while (n < 2 && n < name.size() && name[n] == '\\') ++n;
  return name.substr(n);
}

void EscapeZeroBytesIn(ServerTables& tables) {
  auto keep = [](std::string& text) {
    if (text.find('\0') != std::string::npos) text = EscapeZeroBytes(text);
  };
  for (auto& s : tables.shares) {
    keep(s.name);
    keep(s.path);
  }
  for (auto& c : tables.connections) {
    keep(c.share);
    keep(c.client);
    keep(c.user);
    keep(c.address);
  }
  for (auto& f : tables.files) {
    keep(f.share);
    keep(f.client);
    keep(f.user);
    keep(f.path);
    keep(f.address);
  }
  for (auto& s : tables.sessions) {
    keep(s.client);
    keep(s.user);
    keep(s.address);
  }
  for (auto it = tables.security.begin(); it != tables.security.end();) {
    for (auto& share : it->second.unencryptedShares) keep(share);
    if (it->first.find('\0') == std::string::npos) {
      ++it;
      continue;
    }
    auto node = tables.security.extract(it++);
    node.key() = EscapeZeroBytes(node.key());
    tables.security.insert(std::move(node));
  }
}

bool SameShareName(const std::string& a, const std::string& b) {
  // Share names are not case-sensitive on the server.
  return SameTextAsciiNoCase(a, b);
}

// Writes records and their strings into a caller's buffer; without a
// buffer it only measures what they take.
class Writer50 {
 public:
  Writer50(char* buffer, std::size_t size, std::size_t stringsStart)
      : buffer_(buffer), size_(size), next_(stringsStart) {}
  // Room for count more string bytes (with terminators)?
  bool Fits(std::size_t bytes) const { return next_ + bytes <= size_; }
  std::size_t Used() const { return next_; }
  void PutU8(std::size_t at, std::uint8_t v) {
    if (buffer_) buffer_[at] = static_cast<char>(v);
  }
  void PutU32(std::size_t at, std::uint32_t v) {
    if (buffer_) std::memcpy(buffer_ + at, &v, sizeof v);
  }
  void PutString(std::size_t at, const std::string& s) {
    const std::string_view cut = CutUtf8(s, kMax95String);
    if (buffer_) {
      std::memcpy(buffer_ + next_, cut.data(), cut.size());
      buffer_[next_ + cut.size()] = '\0';
    }
    PutU32(at, static_cast<std::uint32_t>(next_));
    next_ += cut.size() + 1;
  }
  void PutFixed(std::size_t at, const std::string& s, std::size_t width) {
    if (!buffer_) return;
    const std::string_view cut = CutUtf8(s, width - 1);
    std::memcpy(buffer_ + at, cut.data(), cut.size());
    buffer_[at + cut.size()] = '\0';
  }
  static std::size_t StringBytes(const std::string& s) {
    return CutUtf8(s, kMax95String).size() + 1;
  }

 private:
  char* buffer_;
  std::size_t size_;
  std::size_t next_;
};
}  // namespace

const char* ServerCallName(ServerCall call) {
  switch (call) {
    case ServerCall::NetShareEnum:
      return "NetShareEnum";
    case ServerCall::NetConnectionEnum:
      return "NetConnectionEnum";
    case ServerCall::NetFileEnum:
      return "NetFileEnum";
    case ServerCall::NetSessionEnum:
      return "NetSessionEnum";
    case ServerCall::NetSessionDel:
      return "NetSessionDel";
    case ServerCall::NetApiBufferFree:
      return "NetApiBufferFree";
  }
  return "";
}

std::uint32_t TableServerBackend::GetVersion() {
  // A version value of the family: 4.0 with bit 31 for 95/98.
  return Is95() ? (kVersion95Bit | 0x0004u) : 0x0004u;
}

// ---------------- NT family ----------------

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
}  // namespace

namespace {
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

void TableServerBackend::NarrowHolderKey(const std::string& share, const std::string& client,
                                         const std::string& address) {
  Utf8ToUtf16(share, holderShare_);
  Utf8ToUtf16(client, holderClient_);
  Utf8ToUtf16(address, holderAddress_);
  HolderKey(holderShare_, holderClient_, holderAddress_, holderKey_);
}

void TableServerBackend::IndexShareTables(const ServerTables& before) {
  // The indexes keep their keys from one reading to the next, so a reading
  // like the one before allocates next to nothing.
  ClearLists(connectionsByShare_);
  ClearLists(filesByUser_);
  ClearLists(filesByHolder_);
  filesOfNoClient_.clear();
  filesWithoutShare_ = false;
  if (Is95()) {
    wideConnections_ = std::make_shared<std::vector<CONNECTION_INFO_1>>();
    wideFiles_ = std::make_shared<std::vector<FILE_INFO_3>>();
  } else {
    wideConnections_ =
        WideRows(before.connections, wideConnections_, shareTables_.connections,
                 [](const ServerTables::Connection& c) {
                   return CONNECTION_INFO_1{Utf8ToUtf16(c.client), Utf8ToUtf16(c.user),
                                            Utf8ToUtf16(c.address)};
                 });
    wideFiles_ =
        WideRows(before.files, wideFiles_, shareTables_.files, [](const ServerTables::OpenFile& f) {
          return FILE_INFO_3{Utf8ToUtf16(f.path), Utf8ToUtf16(f.user)};
        });
  }
  for (std::size_t i = 0; i < shareTables_.connections.size(); ++i) {
    connectionsByShare_[AsciiUpper(shareTables_.connections[i].share)].push_back(i);
  }
  // A client's files mostly come one after another: a row with the row
  // before's account and holder goes to the same lists without a lookup.
  const ServerTables::OpenFile* last = nullptr;
  std::vector<std::size_t>* userFiles = nullptr;
  std::vector<std::uint32_t>* holderFiles = nullptr;
  for (std::size_t i = 0; i < shareTables_.files.size(); ++i) {
    const auto& f = shareTables_.files[i];
    if (!last || f.user != last->user) userFiles = &filesByUser_[f.user];
    userFiles->push_back(i);
    if (Is95()) {
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
  filesOfConnection_.assign(shareTables_.connections.size(), nullptr);
  if (!Is95()) {
    for (std::size_t i = 0; i < shareTables_.connections.size(); ++i) {
      const auto& c = shareTables_.connections[i];
      NarrowHolderKey(c.share, c.client, c.address);
      if (auto it = filesByHolder_.find(holderKey_); it != filesByHolder_.end()) {
        filesOfConnection_[i] = &it->second;
      }
    }
  }
}

NetStatus TableServerBackend::ReadSharesKeepingNames(ServerTables& tables) {
  const NetStatus s = ReadForShares(tables);
  EscapeZeroBytesIn(tables);
  return s;
}

NetStatus TableServerBackend::ReadSessionsKeepingNames(ServerTables& tables) {
  const NetStatus s = ReadForSessions(tables);
  EscapeZeroBytesIn(tables);
  return s;
}

NetStatus TableServerBackend::NetShareEnum(NtBuffer** buffer, std::uint32_t& read,
                                           std::uint32_t& total) {
  *buffer = nullptr;
  read = total = 0;
  if (NetStatus s = InjectedStatus(ServerCall::NetShareEnum)) return s;
  std::lock_guard lock(mutex_);
  if (!SharesUnchanged(shareTables_)) {
    // The reading goes into the tables before last, reusing their storage.
    if (NetStatus s = ReadSharesKeepingNames(spareTables_)) return s;
    std::swap(shareTables_, spareTables_);
    IndexShareTables(spareTables_);
  }
  auto* records = new NtRecords<SHARE_INFO_2>();
  for (const auto& share : shareTables_.shares) {
    records->owned.push_back({Utf8ToUtf16(share.name), share.type, Utf8ToUtf16(share.path)});
  }
  read = total = static_cast<std::uint32_t>(records->size());
  *buffer = records;
  return NERR_Success;
}

NetStatus TableServerBackend::NetConnectionEnum(const char16_t* qualifier, NtBuffer** buffer,
                                                std::uint32_t& read, std::uint32_t& total) {
  *buffer = nullptr;
  read = total = 0;
  if (NetStatus s = InjectedStatus(ServerCall::NetConnectionEnum)) return s;
  if (!qualifier) return ERROR_INVALID_PARAMETER;
  const std::string share = Narrow(qualifier);
  std::lock_guard lock(mutex_);
  bool listed = false;
  for (const auto& s : shareTables_.shares) listed = listed || SameShareName(s.name, share);
  if (!listed) return NERR_NetNameNotFound;
  auto* records = new NtRecords<CONNECTION_INFO_1>();
  records->shared = wideConnections_;
  if (auto it = connectionsByShare_.find(AsciiUpper(share)); it != connectionsByShare_.end()) {
    records->picked.assign(it->second.begin(), it->second.end());
  }
  read = total = static_cast<std::uint32_t>(records->size());
  *buffer = records;
  return NERR_Success;
}

NetStatus TableServerBackend::NetFileEnum(const char16_t* basePath, const char16_t* userName,
                                          NtBuffer** buffer, std::uint32_t& read,
                                          std::uint32_t& total) {
  *buffer = nullptr;
  read = total = 0;
  if (NetStatus s = InjectedStatus(ServerCall::NetFileEnum)) return s;
  const std::string base = Narrow(basePath);
  const std::string user = Narrow(userName);
  std::lock_guard lock(mutex_);
  auto* records = new NtRecords<FILE_INFO_3>();
  records->shared = wideFiles_;
  auto take = [&](std::size_t i) {
    if (shareTables_.files[i].path.compare(0, base.size(), base) == 0) {
      records->picked.push_back(static_cast<std::uint32_t>(i));
    }
  };
  if (userName) {
    if (auto it = filesByUser_.find(user); it != filesByUser_.end()) {
      records->picked.reserve(it->second.size());
      for (std::size_t i : it->second) take(i);
    }
  } else {
    for (std::size_t i = 0; i < shareTables_.files.size(); ++i) take(i);
  }
  read = total = static_cast<std::uint32_t>(records->size());
  *buffer = records;
  return NERR_Success;
}

NetStatus TableServerBackend::NetFileEnumOfConnection(const char16_t* share, const char16_t* client,
                                                      const char16_t* address,
                                                      std::uint32_t connection,
                                                      const char16_t* basePath,
                                                      const char16_t* userName, NtBuffer** buffer,
                                                      std::uint32_t& read, std::uint32_t& total) {
  *buffer = nullptr;
  read = total = 0;
  if (NetStatus s = InjectedStatus(ServerCall::NetFileEnum)) return s;
  if (!share || !client) return NetFileEnum(basePath, userName, buffer, read, total);
  const std::u16string_view base = basePath ? std::u16string_view(basePath) : u"";
  const std::u16string_view from = address ? std::u16string_view(address) : u"";
  std::lock_guard lock(mutex_);
  auto* records = new NtRecords<FILE_INFO_3>();
  records->shared = wideFiles_;
  // The client text is that very record's (of this reading, not an older
  // one): its files are known without a lookup.
  if (connection < filesOfConnection_.size() &&
      (*wideConnections_)[connection].coni1_netname.c_str() == client) {
    if (const auto* files = filesOfConnection_[connection]) records->picked = *files;
  } else {
    HolderKey(share, client, from, holderKey_);
    if (auto it = filesByHolder_.find(holderKey_); it != filesByHolder_.end()) {
      records->picked = it->second;
    }
  }
  if (!base.empty()) {
    HolderKey(u"", client, from, holderKey_);
    if (auto it = filesWithoutShare_ ? filesByHolder_.find(holderKey_) : filesByHolder_.end();
        it != filesByHolder_.end()) {
      for (std::uint32_t i : it->second) {
        if (UnderPath((*wideFiles_)[i].fi3_pathname, base)) records->picked.push_back(i);
      }
    }
    const std::u16string_view user = userName ? std::u16string_view(userName) : u"";
    for (std::uint32_t i : filesOfNoClient_) {
      const FILE_INFO_3& f = (*wideFiles_)[i];
      if ((!userName || f.fi3_username == user) && UnderPath(f.fi3_pathname, base)) {
        records->picked.push_back(i);
      }
    }
  }
  read = total = static_cast<std::uint32_t>(records->size());
  *buffer = records;
  return NERR_Success;
}

NetStatus TableServerBackend::NetSessionEnum(NtBuffer** buffer, std::uint32_t& read,
                                             std::uint32_t& total) {
  *buffer = nullptr;
  read = total = 0;
  if (NetStatus s = InjectedStatus(ServerCall::NetSessionEnum)) return s;
  ServerTables fresh;
  if (NetStatus s = ReadSessionsKeepingNames(fresh)) return s;
  auto* records = new NtRecords<SESSION_INFO_1>();
  for (const auto& s : fresh.sessions) {
    records->owned.push_back({Utf8ToUtf16(s.client), Utf8ToUtf16(s.user), Utf8ToUtf16(s.address)});
  }
  read = total = static_cast<std::uint32_t>(records->size());
  *buffer = records;
  return NERR_Success;
}

NetStatus TableServerBackend::SessionTable(std::vector<ServerTables::Session>& sessions) {
  sessions.clear();
  if (NetStatus s = InjectedStatus(ServerCall::NetSessionEnum)) return s;
  ServerTables fresh;
  if (NetStatus s = ReadSessionsKeepingNames(fresh)) return s;
  sessions = std::move(fresh.sessions);
  return NERR_Success;
}

bool TableServerBackend::ClientSecurity(const std::string& client, SessionSecurity& security) {
  std::lock_guard lock(mutex_);
  const auto it = shareTables_.security.find(client);
  if (it == shareTables_.security.end()) return false;
  security = it->second;
  return true;
}

NetStatus TableServerBackend::NetSessionDel(const char16_t* clientName,
                                            const char16_t* /*userName*/) {
  if (NetStatus s = InjectedStatus(ServerCall::NetSessionDel)) return s;
  if (!clientName) return ERROR_INVALID_PARAMETER;
  return DeleteClientSessions(RestoreZeroBytes(StripBackslashes(Narrow(clientName))), {}, nullptr);
}

NetStatus TableServerBackend::NetSessionDelFrom(const char16_t* clientName, const char16_t* address,
                                                const char16_t* userName) {
  if (!address || !*address) return NetSessionDel(clientName, userName);
  if (NetStatus s = InjectedStatus(ServerCall::NetSessionDel)) return s;
  if (!clientName) return ERROR_INVALID_PARAMETER;
  return DeleteClientSessions(RestoreZeroBytes(StripBackslashes(Narrow(clientName))),
                              RestoreZeroBytes(Narrow(address)), nullptr);
}

NetStatus TableServerBackend::NetApiBufferFree(NtBuffer* buffer) {
  delete buffer;
  return InjectedStatus(ServerCall::NetApiBufferFree);
}

// ---------------- 95/98 family ----------------

template <typename Packer>
NetStatus TableServerBackend::Pack50(std::size_t count, std::uint16_t recordSize, char* buffer,
                                     std::uint32_t size, std::uint16_t& read, std::uint16_t& total,
                                     std::uint32_t& needed, Packer pack) {
  total = static_cast<std::uint16_t>(count > 0xFFFF ? 0xFFFF : count);
  read = 0;
  needed = 0;
  if (size == 0 || !buffer) return total == 0 ? NERR_Success : NERR_BufTooSmall;
  const std::size_t fixed = static_cast<std::size_t>(recordSize) * total;
  auto tooSmall = [&](NetStatus status) {
    Writer50 measure(nullptr, SIZE_MAX, fixed);
    for (std::size_t i = 0; i < total; ++i) pack(measure, i, i * recordSize);
    needed = static_cast<std::uint32_t>(std::min<std::size_t>(measure.Used(), UINT32_MAX));
    return status;
  };
  std::memset(buffer, 0, size);
  // Not even the records fit: the call reports how much it needs.
  if (fixed > size) return tooSmall(NERR_BufTooSmall);
  Writer50 w(buffer, size, fixed);
  for (std::size_t i = 0; i < total; ++i) {
    if (!pack(w, i, i * recordSize)) return tooSmall(ERROR_MORE_DATA);
    ++read;
  }
  return NERR_Success;
}

NetStatus TableServerBackend::NetShareEnum50(char* buffer, std::uint32_t size, std::uint16_t& read,
                                             std::uint16_t& total, std::uint32_t& needed) {
  read = total = 0;
  if (NetStatus s = InjectedStatus(ServerCall::NetShareEnum)) return s;
  std::lock_guard lock(mutex_);
  if (size == 0 && !SharesUnchanged(shareTables_)) {
    // The reading goes into the tables before last, reusing their storage.
    if (NetStatus s = ReadSharesKeepingNames(spareTables_)) return s;
    std::swap(shareTables_, spareTables_);
    IndexShareTables(spareTables_);
  }
  const auto& shares = shareTables_.shares;
  return Pack50(shares.size(), kShareInfo50Size, buffer, size, read, total, needed,
                [&](Writer50& w, std::size_t i, std::size_t at) {
                  const auto& s = shares[i];
                  if (!w.Fits(Writer50::StringBytes(s.path))) return false;
                  w.PutFixed(at + info50::shi50_netname, s.name, 13);
                  w.PutU8(at + info50::shi50_type, static_cast<std::uint8_t>(s.type));
                  w.PutString(at + info50::shi50_path, s.path);
                  return true;
                });
}

NetStatus TableServerBackend::NetConnectionEnum50(const char* qualifier, char* buffer,
                                                  std::uint32_t size, std::uint16_t& read,
                                                  std::uint16_t& total, std::uint32_t& needed) {
  read = total = 0;
  if (NetStatus s = InjectedStatus(ServerCall::NetConnectionEnum)) return s;
  if (!qualifier) return ERROR_INVALID_PARAMETER;
  const std::string share = qualifier;
  std::lock_guard lock(mutex_);
  bool listed = false;
  for (const auto& s : shareTables_.shares) listed = listed || SameShareName(s.name, share);
  if (!listed) return NERR_NetNameNotFound;
  std::vector<const ServerTables::Connection*> picked;
  if (auto it = connectionsByShare_.find(AsciiUpper(share)); it != connectionsByShare_.end()) {
    for (std::size_t i : it->second) picked.push_back(&shareTables_.connections[i]);
  }
  // 95/98 swaps the names: coni50_username holds the client, coni50_netname the user.
  return Pack50(picked.size(), kConnectionInfo50Size, buffer, size, read, total, needed,
                [&](Writer50& w, std::size_t i, std::size_t at) {
                  const auto& c = *picked[i];
                  if (!w.Fits(Writer50::StringBytes(c.client) + Writer50::StringBytes(c.user))) {
                    return false;
                  }
                  w.PutString(at + info50::coni50_username, c.client);
                  w.PutString(at + info50::coni50_netname, c.user);
                  return true;
                });
}

NetStatus TableServerBackend::NetFileEnum50(const char* /*basePath*/, char* buffer,
                                            std::uint32_t size, std::uint16_t& read,
                                            std::uint16_t& total, std::uint32_t& needed) {
  read = total = 0;
  if (NetStatus s = InjectedStatus(ServerCall::NetFileEnum)) return s;
  std::lock_guard lock(mutex_);
  const auto& files = shareTables_.files;
  return Pack50(files.size(), kFileInfo50Size, buffer, size, read, total, needed,
                [&](Writer50& w, std::size_t i, std::size_t at) {
                  const auto& f = files[i];
                  if (!w.Fits(Writer50::StringBytes(f.path) + Writer50::StringBytes(f.client) +
                              Writer50::StringBytes(f.share))) {
                    return false;
                  }
                  w.PutU32(at + info50::fi50_id, static_cast<std::uint32_t>(i + 1));
                  w.PutString(at + info50::fi50_pathname, f.path);
                  w.PutString(at + info50::fi50_username, f.client);
                  w.PutString(at + info50::fi50_sharename, f.share);
                  return true;
                });
}

NetStatus TableServerBackend::NetSessionEnum50(char* buffer, std::uint32_t size,
                                               std::uint16_t& read, std::uint16_t& total,
                                               std::uint32_t& needed) {
  read = total = 0;
  if (NetStatus s = InjectedStatus(ServerCall::NetSessionEnum)) return s;
  std::lock_guard lock(mutex_);
  ServerTables& mine = pending50Sessions_[std::this_thread::get_id()];
  if (size == 0) {
    ServerTables fresh;
    if (NetStatus s = ReadSessionsKeepingNames(fresh)) {
      pending50Sessions_.erase(std::this_thread::get_id());
      return s;
    }
    mine = std::move(fresh);
  }
  const auto& sessions = mine.sessions;
  const NetStatus s =
      Pack50(sessions.size(), kSessionInfo50Size, buffer, size, read, total, needed,
             [&](Writer50& w, std::size_t i, std::size_t at) {
               const auto& e = sessions[i];
               if (!w.Fits(Writer50::StringBytes(e.client) + Writer50::StringBytes(e.user))) {
                 return false;
               }
               w.PutString(at + info50::sesi50_cname, e.client);
               w.PutString(at + info50::sesi50_username, e.user);
               w.PutU32(at + info50::sesi50_key, e.key);
               return true;
             });
  // A buffer too small keeps the reading for the call that asks again.
  if ((size != 0 && needed == 0) || total == 0) {
    pending50Sessions_.erase(std::this_thread::get_id());
  }
  return s;
}

NetStatus TableServerBackend::NetSessionDel50(const char* clientName, std::uint16_t key) {
  if (NetStatus s = InjectedStatus(ServerCall::NetSessionDel)) return s;
  if (!clientName) return ERROR_INVALID_PARAMETER;
  const std::uint32_t k = key;
  return DeleteClientSessions(RestoreZeroBytes(clientName), {}, &k);
}

}  // namespace qm
