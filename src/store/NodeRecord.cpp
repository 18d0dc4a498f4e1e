// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "store/NodeRecord.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/Text.h"

namespace qm {

namespace {
constexpr std::size_t kEnterTimeAt = 0;
constexpr std::size_t kExitTimeAt = 8;
constexpr std::size_t kNameAt = 16;
constexpr std::size_t kUserNameAt = 272;
constexpr std::size_t kIPAddressAt = 303;
constexpr std::size_t kHostNameAt = 320;
constexpr std::size_t kDiskShareAt = 385;
constexpr std::size_t kLevelAt = 386;
constexpr std::size_t kEnterStatusAt = 390;
constexpr std::size_t kExitStatusAt = 391;

void PutUint(unsigned char* out, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint64_t GetUint(const unsigned char* in, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | in[i];
  return v;
}

void PutText(unsigned char* out, const std::string& text, std::size_t max) {
  const std::string_view cut = CutUtf8(text, max);
  out[0] = static_cast<unsigned char>(cut.size());
  std::memcpy(out + 1, cut.data(), cut.size());
}

// An address longer than its field (a long IPv6 address) keeps its start
// and is marked as cut, so it can never be read back as another, shorter
// address that a plain cut might spell.
std::string FittedAddress(const std::string& address) {
  if (address.size() <= NodeRecord::kMaxIPAddress) return address;
  return std::string(CutUtf8(address, NodeRecord::kMaxIPAddress - 3)) + "...";
}

std::string GetText(const unsigned char* in, std::size_t max) {
  const std::size_t length = std::min<std::size_t>(in[0], max);
  return std::string(reinterpret_cast<const char*>(in + 1), length);
}
}  // namespace

void NodeRecord::Encode(unsigned char* out) const {
  std::memset(out, 0, kSize);
  PutUint(out + kEnterTimeAt, std::bit_cast<std::uint64_t>(EnterTime), 8);
  PutUint(out + kExitTimeAt, std::bit_cast<std::uint64_t>(ExitTime), 8);
  PutText(out + kNameAt, Name, kMaxName);
  PutText(out + kUserNameAt, UserName, kMaxUserName);
  PutText(out + kIPAddressAt, FittedAddress(IPAddress), kMaxIPAddress);
  PutText(out + kHostNameAt, HostName, kMaxHostName);
  out[kDiskShareAt] = DiskShare ? 1 : 0;
  PutUint(out + kLevelAt, static_cast<std::uint32_t>(Level), 4);
  out[kEnterStatusAt] = EnterStatus;
  out[kExitStatusAt] = ExitStatus;
}

NodeRecord NodeRecord::Decode(const unsigned char* in) {
  NodeRecord r;
  r.EnterTime = std::bit_cast<double>(GetUint(in + kEnterTimeAt, 8));
  r.ExitTime = std::bit_cast<double>(GetUint(in + kExitTimeAt, 8));
  r.Name = GetText(in + kNameAt, kMaxName);
  r.UserName = GetText(in + kUserNameAt, kMaxUserName);
  r.IPAddress = GetText(in + kIPAddressAt, kMaxIPAddress);
  r.HostName = GetText(in + kHostNameAt, kMaxHostName);
  r.DiskShare = in[kDiskShareAt] != 0;
  r.Level = DecodeLevel(in);
  r.EnterStatus = in[kEnterStatusAt];
  r.ExitStatus = in[kExitStatusAt];
  return r;
}

std::int32_t NodeRecord::DecodeLevel(const unsigned char* in) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(GetUint(in + kLevelAt, 4)));
}

std::int32_t LevelOfRecord(const TTreeNodeCustom& record) {
  if (dynamic_cast<const TUser*>(&record)) return 0;
  if (dynamic_cast<const TShare*>(&record)) return 1;
  return 2;
}

NodeRecord ToNodeRecord(const TTreeNodeCustom& record, std::int32_t level) {
  NodeRecord r;
  r.EnterTime = record.EnterTime;
  r.ExitTime = record.ExitTime;
  r.Name = record.Name;
  r.DiskShare = record.DiskShare;
  r.Level = level;
  r.EnterStatus = record.EnterStatus;
  r.ExitStatus = record.ExitStatus;
  if (const auto* user = dynamic_cast<const TUser*>(&record)) {
    r.UserName = user->UserName;
    r.IPAddress = user->IPAddress;
    r.HostName = user->HostName;
  }
  return r;
}

std::unique_ptr<TTreeNodeCustom> CreateFromNodeRecord(const NodeRecord& stored) {
  std::unique_ptr<TTreeNodeCustom> record;
  if (stored.Level == 0) {
    auto user = std::make_unique<TUser>();
    user->UserName = stored.UserName;
    user->IPAddress = stored.IPAddress;
    user->HostName = stored.HostName;
    record = std::move(user);
  } else if (stored.Level == 1) {
    record = std::make_unique<TShare>();
  } else {
    record = std::make_unique<TFile>();
  }
  record->EnterTime = stored.EnterTime;
  record->ExitTime = stored.ExitTime;
  record->Name = stored.Name;
  record->LastActivity = 0;
  record->DiskShare = stored.DiskShare;
  record->EnterStatus = stored.EnterStatus;
  record->ExitStatus = stored.ExitStatus;
  return record;
}

}  // namespace qm
