// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/InMemoryServerBackend.h"

#include <algorithm>

namespace qm {

NetStatus InMemoryServerBackend::ReadForShares(ServerTables& out) {
  ++sharesReads;
  out = tables;
  read_ = true;
  return NERR_Success;
}

NetStatus InMemoryServerBackend::ReadForSessions(ServerTables& out) {
  out = tables;
  return NERR_Success;
}

NetStatus InMemoryServerBackend::DeleteClientSessions(const std::string& client,
                                                      const std::string& address,
                                                      const std::uint32_t* key) {
  return RemoveClient(tables, client, address, key);
}

NetStatus InMemoryServerBackend::InjectedStatus(ServerCall call) {
  auto it = failures.find(call);
  return it == failures.end() ? NERR_Success : it->second;
}

NetStatus RemoveClient(ServerTables& tables, const std::string& client, const std::string& address,
                       const std::uint32_t* key) {
  auto ofClient = [&](const auto& e) {
    return e.client == client && (address.empty() || e.address == address);
  };
  const bool has =
      key ? std::any_of(
                tables.sessions.begin(), tables.sessions.end(),
                [&](const auto& s) { return ofClient(s) && (s.key & 0xFFFF) == (*key & 0xFFFF); })
          : std::any_of(tables.sessions.begin(), tables.sessions.end(), ofClient) ||
                std::any_of(tables.connections.begin(), tables.connections.end(), ofClient) ||
                std::any_of(tables.files.begin(), tables.files.end(), ofClient);
  if (!has) return NERR_ClientNameNotFound;
  auto drop = [&](auto& v) { v.erase(std::remove_if(v.begin(), v.end(), ofClient), v.end()); };
  drop(tables.sessions);
  drop(tables.connections);
  drop(tables.files);
  return NERR_Success;
}

}  // namespace qm
