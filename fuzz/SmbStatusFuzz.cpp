// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The `smbstatus --json` reader over any bytes: it never crashes or hangs,
// a refusal says why, every address it keeps reads as one, and its
// sessions' security facts come out of any reading.
#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/samba/SambaSessionSecurity.h"
#include "platform/samba/SmbStatusParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  qm::SmbStatus status;
  std::string why;
  if (!qm::SmbStatusParser::Parse(text, status, why)) {
    Check(!why.empty());
    return 0;
  }
  for (const auto& session : status.sessions) {
    const std::string address = qm::SmbStatusParser::AddressOf(session.hostname);
    unsigned char bytes[16];
    Check(address.empty() || ::inet_pton(AF_INET, address.c_str(), bytes) == 1 ||
          ::inet_pton(AF_INET6, address.c_str(), bytes) == 1);
    // A node number is a 32-bit one or unknown, never a made-up value.
    Check(session.vnn >= -1 && session.vnn <= qm::kNonClusterVnn);
  }
  // Any reading describes its clients without a share list to go by.
  const auto clients = qm::SambaSessionSecurity::OfClients(qm::SambaShareList{}, status);
  Check(clients.size() <= status.sessions.size() + status.treeConnects.size());
  return 0;
}
