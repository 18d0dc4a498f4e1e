// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <map>
#include <string>

#include "platform/TableServerBackend.h"

namespace qm {

// A server whose state lives in memory: set the tables, tick, look. Used by
// tests and benchmarks, and as the engine of the simulated server.
class InMemoryServerBackend : public TableServerBackend {
 public:
  explicit InMemoryServerBackend(bool family95 = false) : family95_(family95) {}

  bool Load(std::string& /*why*/) override { return true; }

  ServerTables tables;
  std::map<ServerCall, NetStatus> failures;  // a status a call gives instead
  int sharesReads = 0;                       // how often the state was read

 protected:
  bool Is95() const override { return family95_; }
  NetStatus ReadForShares(ServerTables& out) override;
  NetStatus ReadForSessions(ServerTables& out) override;
  NetStatus DeleteClientSessions(const std::string& client, const std::string& address,
                                 const std::uint32_t* key) override;
  NetStatus InjectedStatus(ServerCall call) override;
  bool SharesUnchanged(const ServerTables& current) override { return read_ && tables == current; }

 private:
  bool family95_;
  bool read_ = false;
};

// Removes every session, connection and open file of client (from address
// unless that is empty) from tables (with key: only when the client has a
// session with that key's low 16 bits). 2312 when there is nothing of the
// client to end.
NetStatus RemoveClient(ServerTables& tables, const std::string& client, const std::string& address,
                       const std::uint32_t* key);

}  // namespace qm
