// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/TableServerBackend.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/Text.h"
#include "platform/Record50Writer.h"

namespace qm {

namespace {
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
    index_.Rebuild(shareTables_, spareTables_, Is95());
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
  records->shared = index_.WideConnections();
  if (const auto* rows = index_.ConnectionsOf(share)) {
    records->picked.assign(rows->begin(), rows->end());
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
  records->shared = index_.WideFiles();
  auto take = [&](std::size_t i) {
    if (shareTables_.files[i].path.compare(0, base.size(), base) == 0) {
      records->picked.push_back(static_cast<std::uint32_t>(i));
    }
  };
  if (userName) {
    if (const auto* rows = index_.FilesOf(user)) {
      records->picked.reserve(rows->size());
      for (std::size_t i : *rows) take(i);
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
  records->shared = index_.WideFiles();
  index_.PickFilesOfConnection(share, client, from, connection, base, userName, records->picked);
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

NetStatus TableServerBackend::NetShareEnum50(char* buffer, std::uint32_t size, std::uint16_t& read,
                                             std::uint16_t& total, std::uint32_t& needed) {
  read = total = 0;
  if (NetStatus s = InjectedStatus(ServerCall::NetShareEnum)) return s;
  std::lock_guard lock(mutex_);
  if (size == 0 && !SharesUnchanged(shareTables_)) {
    // The reading goes into the tables before last, reusing their storage.
    if (NetStatus s = ReadSharesKeepingNames(spareTables_)) return s;
    std::swap(shareTables_, spareTables_);
    index_.Rebuild(shareTables_, spareTables_, Is95());
  }
  const auto& shares = shareTables_.shares;
  return Record50Writer::Pack(shares.size(), kShareInfo50Size, buffer, size, read, total, needed,
                              [&](Record50Writer& w, std::size_t i, std::size_t at) {
                                const auto& s = shares[i];
                                if (!w.Fits(Record50Writer::StringBytes(s.path))) return false;
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
  if (const auto* rows = index_.ConnectionsOf(share)) {
    for (std::size_t i : *rows) picked.push_back(&shareTables_.connections[i]);
  }
  // 95/98 swaps the names: coni50_username holds the client, coni50_netname the user.
  return Record50Writer::Pack(
      picked.size(), kConnectionInfo50Size, buffer, size, read, total, needed,
      [&](Record50Writer& w, std::size_t i, std::size_t at) {
        const auto& c = *picked[i];
        if (!w.Fits(Record50Writer::StringBytes(c.client) + Record50Writer::StringBytes(c.user))) {
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
  return Record50Writer::Pack(
      files.size(), kFileInfo50Size, buffer, size, read, total, needed,
      [&](Record50Writer& w, std::size_t i, std::size_t at) {
        const auto& f = files[i];
        if (!w.Fits(Record50Writer::StringBytes(f.path) + Record50Writer::StringBytes(f.client) +
                    Record50Writer::StringBytes(f.share))) {
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
  const NetStatus s = Record50Writer::Pack(
      sessions.size(), kSessionInfo50Size, buffer, size, read, total, needed,
      [&](Record50Writer& w, std::size_t i, std::size_t at) {
        const auto& e = sessions[i];
        if (!w.Fits(Record50Writer::StringBytes(e.client) + Record50Writer::StringBytes(e.user))) {
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
