// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "core/ServerApi.h"

#include <cstring>
#include <new>

#include "core/Text.h"

namespace qm {

namespace {
bool IsSuccess(NetStatus s) {
  return s == NERR_Success || s == ERROR_MORE_DATA || s == NERR_BufTooSmall;
}

int Negated(NetStatus s) {
  return -static_cast<int>(s);
}

// Every Init checks once that the platform's buffer holds its kind of
// records (ValidBuffer), so the accessors need no check of their own.
template <typename Record>
const Record* NtEntry(NtBuffer* buffer, std::uint32_t i) {
  auto* records = static_cast<NtRecords<Record>*>(buffer);
  if (!records || i >= records->size()) return nullptr;
  return &records->at(i);
}

template <typename Record>
bool ValidBuffer(NtBuffer* buffer) {
  return !buffer || dynamic_cast<NtRecords<Record>*>(buffer) != nullptr;
}

std::uint32_t ReadU32(const char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

constexpr std::uint32_t kReserve[4] = {kShare50Reserve, kConnection50Reserve, kFile50Reserve,
                                       kSession50Reserve};
}  // namespace

ServerApi::ServerApi(ServerBackend& backend) : backend_(backend) {}

ServerApi::~ServerApi() {
  UnloadServerApi();
}

int ServerApi::LoadServerApi() {
  loadError_.clear();
  if (!backend_.Load(loadError_)) {
    isNT_ = false;
    loaded_ = false;
    return -1;
  }
  loaded_ = true;
  isNT_ = (backend_.GetVersion() & kVersion95Bit) == 0;
  return isNT_ ? 0 : 1;
}

void ServerApi::UnloadServerApi() {
  if (!loaded_) return;
  Release(shares_);
  Release(connections_);
  Release(files_);
  {
    std::lock_guard lock(sessionsMutex_);
    for (auto& [id, r] : sessions_) Release(r);
    sessions_.clear();
  }
  backend_.Unload();
  loaded_ = false;
}

int ServerApi::Release(Result& r) {
  int status = 0;
  r.nt.reset();
  if (r.has95) {
    r.buffer95.clear();
    r.buffer95.shrink_to_fit();
    r.has95 = false;
  }
  r.read = r.total = 0;
  return status;
}

template <typename Record>
bool ServerApi::Adopt(Result& r, NtBuffer* buffer) {
  r.nt = NtResultBuffer(buffer, NtBufferRelease{&backend_});
  if (ValidBuffer<Record>(buffer)) return true;
  Release(r);
  return false;
}

int ServerApi::Enumerate95(Kind kind, Result& r, const char* qualifier) {
  Release(r);
  std::uint16_t read = 0, total = 0;
  std::uint32_t needed = 0;
  NetStatus s = 0;
  auto call = [&](char* buffer, std::uint32_t size) {
    switch (kind) {
      case kShares:
        return backend_.NetShareEnum50(buffer, size, read, total, needed);
      case kConnections:
        return backend_.NetConnectionEnum50(qualifier, buffer, size, read, total, needed);
      case kFiles:
        return backend_.NetFileEnum50(nullptr, buffer, size, read, total, needed);
      case kSessions:
        return backend_.NetSessionEnum50(buffer, size, read, total, needed);
    }
    return NetStatus{ERROR_INVALID_PARAMETER};
  };
  s = call(nullptr, 0);
  if (!IsSuccess(s)) return Negated(s);
  if (total == 0) {
    lastBufferSize_[kind] = 0;
    return 0;
  }
  // The reserve per entry holds every record the server makes; a list that
  // grew between the calls, or a server that packs otherwise, says how
  // much it needs, and is asked again with that much, as often as the list
  // keeps growing (a few times at most).
  std::uint32_t need = (static_cast<std::uint32_t>(total) + 1) * kReserve[kind];
  constexpr int kAsksAgain = 4;
  for (int ask = 0; ask <= kAsksAgain; ++ask) {
    lastBufferSize_[kind] = need;
    if (failAllocations_) return -1;
    try {
      r.buffer95.assign(need, '\0');
    } catch (const std::bad_alloc&) {
      return -1;
    }
    r.has95 = true;
    read = 0;
    s = call(r.buffer95.data(), need);
    if ((s != ERROR_MORE_DATA && s != NERR_BufTooSmall) || needed <= need) break;
    need = needed;
  }
  if (s != NERR_Success) {
    Release(r);
    if (kind == kShares || kind == kConnections) return Negated(s);
    return -1;
  }
  r.read = read;
  r.total = total;
  return read;
}

// ---- shares ----

int ServerApi::SharesInit() {
  if (!isNT_) return Enumerate95(kShares, shares_, nullptr);
  Release(shares_);
  NtBuffer* buffer = nullptr;
  std::uint32_t read = 0, total = 0;
  const NetStatus s = backend_.NetShareEnum(&buffer, read, total);
  if (!Adopt<SHARE_INFO_2>(shares_, buffer)) return -1;
  if (!IsSuccess(s)) {
    Release(shares_);
    return Negated(s);
  }
  shares_.read = read;
  shares_.total = total;
  return static_cast<int>(read);
}

const char* ServerApi::String95(const Result& r, int i, int recordSize, int offset) const {
  const std::size_t at = static_cast<std::size_t>(i) * static_cast<std::size_t>(recordSize) +
                         static_cast<std::size_t>(offset);
  if (at + 4 > r.buffer95.size()) return nullptr;
  const std::uint32_t p = ReadU32(r.buffer95.data() + at);
  if (p == 0 || p >= r.buffer95.size()) return nullptr;
  return r.buffer95.data() + p;
}

PlatformString ServerApi::ShareName(int i) const {
  if (!InRange(shares_, i)) return nullptr;
  if (isNT_) {
    const auto* e = NtEntry<SHARE_INFO_2>(shares_.nt.get(), static_cast<std::uint32_t>(i));
    return e ? PlatformString(e->shi2_netname.c_str()) : nullptr;
  }
  return PlatformString(shares_.buffer95.data() + static_cast<std::size_t>(i) * kShareInfo50Size +
                        info50::shi50_netname);
}

PlatformString ServerApi::SharePath(int i) const {
  if (!InRange(shares_, i)) return nullptr;
  if (isNT_) {
    const auto* e = NtEntry<SHARE_INFO_2>(shares_.nt.get(), static_cast<std::uint32_t>(i));
    return e ? PlatformString(e->shi2_path.c_str()) : nullptr;
  }
  return PlatformString(String95(shares_, i, kShareInfo50Size, info50::shi50_path));
}

std::uint16_t ServerApi::ShareType(int i) const {
  if (!InRange(shares_, i)) return 65535;
  if (isNT_) {
    const auto* e = NtEntry<SHARE_INFO_2>(shares_.nt.get(), static_cast<std::uint32_t>(i));
    return e ? static_cast<std::uint16_t>(e->shi2_type & 0xFFFF) : 65535;
  }
  return static_cast<unsigned char>(
      shares_.buffer95[static_cast<std::size_t>(i) * kShareInfo50Size + info50::shi50_type]);
}

int ServerApi::SharesExit() {
  return Release(shares_);
}

// ---- connections ----

int ServerApi::ConnectionsInit(PlatformString share) {
  if (!isNT_) return Enumerate95(kConnections, connections_, share.Narrow());
  Release(connections_);
  connectionsShare_ = share.Wide() ? share.Wide() : u"";
  NtBuffer* buffer = nullptr;
  std::uint32_t read = 0, total = 0;
  const NetStatus s = backend_.NetConnectionEnum(share.Wide(), &buffer, read, total);
  if (!Adopt<CONNECTION_INFO_1>(connections_, buffer)) return -1;
  if (!IsSuccess(s)) {
    Release(connections_);
    return Negated(s);
  }
  connections_.read = read;
  connections_.total = total;
  return static_cast<int>(read);
}

PlatformString ServerApi::ConnectionClient(int i) const {
  if (!InRange(connections_, i)) return nullptr;
  if (isNT_) {
    const auto* e =
        NtEntry<CONNECTION_INFO_1>(connections_.nt.get(), static_cast<std::uint32_t>(i));
    return e ? PlatformString(e->coni1_netname.c_str()) : nullptr;
  }
  return PlatformString(String95(connections_, i, kConnectionInfo50Size, info50::coni50_username));
}

PlatformString ServerApi::ConnectionUser(int i) const {
  if (!InRange(connections_, i)) return nullptr;
  if (isNT_) {
    const auto* e =
        NtEntry<CONNECTION_INFO_1>(connections_.nt.get(), static_cast<std::uint32_t>(i));
    return e ? PlatformString(e->coni1_username.c_str()) : nullptr;
  }
  return PlatformString(String95(connections_, i, kConnectionInfo50Size, info50::coni50_netname));
}

PlatformString ServerApi::ConnectionAddress(int i) const {
  if (!isNT_ || !InRange(connections_, i)) return nullptr;
  const auto* e = NtEntry<CONNECTION_INFO_1>(connections_.nt.get(), static_cast<std::uint32_t>(i));
  return e && !e->coni1_address.empty() ? PlatformString(e->coni1_address.c_str()) : nullptr;
}

int ServerApi::ConnectionsExit() {
  return Release(connections_);
}

// ---- files ----

int ServerApi::FilesInit(PlatformString user, PlatformString basePath) {
  return FilesInitOfConnection(-1, user, basePath);
}

int ServerApi::FilesInitOfConnection(int connection, PlatformString user, PlatformString basePath) {
  // On 95/98 the arguments are ignored: every open file is listed.
  if (!isNT_) return Enumerate95(kFiles, files_, nullptr);
  Release(files_);
  NtBuffer* buffer = nullptr;
  std::uint32_t read = 0, total = 0;
  const char16_t* client = ConnectionClient(connection).Wide();
  std::uint32_t place = UINT32_MAX;
  if (const auto* records = static_cast<NtRecords<CONNECTION_INFO_1>*>(connections_.nt.get());
      client && records && records->shared) {
    place = records->picked[static_cast<std::size_t>(connection)];
  }
  const NetStatus s =
      client ? backend_.NetFileEnumOfConnection(connectionsShare_.c_str(), client,
                                                ConnectionAddress(connection).Wide(), place,
                                                basePath.Wide(), user.Wide(), &buffer, read, total)
             : backend_.NetFileEnum(basePath.Wide(), user.Wide(), &buffer, read, total);
  if (!Adopt<FILE_INFO_3>(files_, buffer)) return -1;
  if (!IsSuccess(s)) {
    Release(files_);
    return Negated(s);
  }
  files_.read = read;
  files_.total = total;
  return static_cast<int>(read);
}

PlatformString ServerApi::OpenFilePath(int i) const {
  if (!InRange(files_, i)) return nullptr;
  if (isNT_) {
    const auto* e = NtEntry<FILE_INFO_3>(files_.nt.get(), static_cast<std::uint32_t>(i));
    return e ? PlatformString(e->fi3_pathname.c_str()) : nullptr;
  }
  return PlatformString(String95(files_, i, kFileInfo50Size, info50::fi50_pathname));
}

PlatformString ServerApi::OpenFileUser(int i) const {
  if (!InRange(files_, i)) return nullptr;
  if (isNT_) {
    const auto* e = NtEntry<FILE_INFO_3>(files_.nt.get(), static_cast<std::uint32_t>(i));
    return e ? PlatformString(e->fi3_username.c_str()) : nullptr;
  }
  return PlatformString(String95(files_, i, kFileInfo50Size, info50::fi50_username));
}

PlatformString ServerApi::OpenFileShare(int i) const {
  if (isNT_ || !InRange(files_, i)) return nullptr;
  return PlatformString(String95(files_, i, kFileInfo50Size, info50::fi50_sharename));
}

int ServerApi::FilesExit() {
  return Release(files_);
}

// ---- sessions ----

ServerApi::Result& ServerApi::SessionResult() {
  std::lock_guard lock(sessionsMutex_);
  return sessions_[std::this_thread::get_id()];
}

const ServerApi::Result* ServerApi::SessionResultIfAny() const {
  std::lock_guard lock(sessionsMutex_);
  auto it = sessions_.find(std::this_thread::get_id());
  return it == sessions_.end() ? nullptr : &it->second;
}

int ServerApi::SessionsInit() {
  Result& r = SessionResult();
  if (!isNT_) return Enumerate95(kSessions, r, nullptr);
  Release(r);
  NtBuffer* buffer = nullptr;
  std::uint32_t read = 0, total = 0;
  const NetStatus s = backend_.NetSessionEnum(&buffer, read, total);
  if (!Adopt<SESSION_INFO_1>(r, buffer)) return -1;
  if (!IsSuccess(s)) {
    Release(r);
    return Negated(s);
  }
  r.read = read;
  r.total = total;
  return static_cast<int>(read);
}

PlatformString ServerApi::SessionClient(int i) const {
  const Result* r = SessionResultIfAny();
  if (!r || !InRange(*r, i)) return nullptr;
  if (isNT_) {
    const auto* e = NtEntry<SESSION_INFO_1>(r->nt.get(), static_cast<std::uint32_t>(i));
    return e ? PlatformString(e->sesi1_cname.c_str()) : nullptr;
  }
  return PlatformString(String95(*r, i, kSessionInfo50Size, info50::sesi50_cname));
}

PlatformString ServerApi::SessionUser(int i) const {
  const Result* r = SessionResultIfAny();
  if (!r || !InRange(*r, i)) return nullptr;
  if (isNT_) {
    const auto* e = NtEntry<SESSION_INFO_1>(r->nt.get(), static_cast<std::uint32_t>(i));
    return e ? PlatformString(e->sesi1_username.c_str()) : nullptr;
  }
  return PlatformString(String95(*r, i, kSessionInfo50Size, info50::sesi50_username));
}

PlatformString ServerApi::SessionAddress(int i) const {
  if (!isNT_) return nullptr;
  const Result* r = SessionResultIfAny();
  if (!r || !InRange(*r, i)) return nullptr;
  const auto* e = NtEntry<SESSION_INFO_1>(r->nt.get(), static_cast<std::uint32_t>(i));
  return e && !e->sesi1_address.empty() ? PlatformString(e->sesi1_address.c_str()) : nullptr;
}

std::int32_t ServerApi::SessionKey(int i) const {
  if (isNT_) return 0;
  const Result* r = SessionResultIfAny();
  if (!r || !InRange(*r, i)) return -1;
  return static_cast<std::int32_t>(ReadU32(
      r->buffer95.data() + static_cast<std::size_t>(i) * kSessionInfo50Size + info50::sesi50_key));
}

int ServerApi::SessionsExit() {
  std::lock_guard lock(sessionsMutex_);
  auto it = sessions_.find(std::this_thread::get_id());
  if (it == sessions_.end()) return 0;
  const int status = Release(it->second);
  sessions_.erase(it);
  return status;
}

NetStatus ServerApi::DeleteSession(PlatformString client, PlatformString user, std::uint32_t key,
                                   PlatformString address) {
  if (isNT_ && !EmptyText(address)) {
    return backend_.NetSessionDelFrom(client.Wide(), address.Wide(), user.Wide());
  }
  if (isNT_) {
    return backend_.NetSessionDel(client.Wide(), user.Wide());
  }
  return backend_.NetSessionDel50(client.Narrow(), static_cast<std::uint16_t>(key & 0xFFFF));
}

// ---- strings ----

std::string ServerApi::FromPlatformString(PlatformString p) const {
  std::string out;
  FromPlatformString(p, out);
  return out;
}

void ServerApi::FromPlatformString(PlatformString p, std::string& out) const {
  if (p.Wide()) {
    Utf16ToUtf8(p.Wide(), out);
  } else if (p.Narrow()) {
    out.assign(p.Narrow());
  } else {
    out.clear();
  }
}

std::size_t ServerApi::MatchedText(PlatformString p, const char* text) const {
  const std::size_t npos = std::string::npos;
  if (p.Narrow()) {
    const std::string_view whole(text);
    return whole == p.Narrow() ? whole.size() : npos;
  }
  if (!p.Wide()) return *text == '\0' ? 0 : npos;
  // ASCII reads the same in both encodings: one pass over both while it
  // lasts; from the first other unit on, the rest is converted (no
  // character spans that boundary).
  const char16_t* w = p.Wide();
  std::size_t i = 0;
  for (; w[i] != 0 && w[i] < 0x80; ++i) {
    if (static_cast<unsigned char>(text[i]) != w[i]) return npos;
  }
  if (w[i] == 0) return text[i] == '\0' ? i : npos;
  const std::string_view rest(text + i);
  return Utf16ToUtf8(w + i) == rest ? i + rest.size() : npos;
}

PlatformText ServerApi::ToPlatformString(std::string_view s) const {
  return isNT_ ? PlatformText::Wide(s) : PlatformText::Narrow(s);
}

}  // namespace qm
