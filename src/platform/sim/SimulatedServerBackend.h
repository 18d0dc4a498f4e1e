// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <sys/stat.h>

#include <ctime>
#include <map>
#include <mutex>
#include <string>

#include "os/FileStamp.h"
#include "platform/TableServerBackend.h"

namespace qm {

// The simulated server: a JSON state file (see docs/simulated-server.md),
// looked at again at every share enumeration and every session enumeration
// and read again whenever it changed, so a test or a demo changes the world
// by rewriting the file.
class SimulatedServerBackend final : public TableServerBackend {
 public:
  explicit SimulatedServerBackend(std::string statePath);

  bool Load(std::string& why) override;
  const std::string& StatePath() const { return path_; }
  std::vector<std::string> TakeNotices() override;

  // Parses a state document; false (why set) when it is not a valid state.
  static bool Parse(const std::string& text, ServerTables& tables, bool& family95,
                    std::map<std::string, NetStatus>& failures, std::string& why);
  // The document for a state (family, tables, failures).
  static std::string Serialize(const ServerTables& tables, bool family95,
                               const std::map<std::string, NetStatus>& failures);

 protected:
  bool Is95() const override { return family95_; }
  NetStatus ReadForShares(ServerTables& tables) override;
  NetStatus ReadForSessions(ServerTables& tables) override;
  NetStatus DeleteClientSessions(const std::string& client, const std::string& address,
                                 const std::uint32_t* key) override;
  NetStatus InjectedStatus(ServerCall call) override;

 private:
  bool Reload();  // false: unreadable or invalid now

  std::string path_;
  bool family95_ = false;
  std::mutex stateMutex_;
  bool valid_ = false;
  ServerTables state_;
  std::map<std::string, NetStatus> failures_;
  // The version state_ was parsed from, when it can be trusted to show
  // any later write: it was written well before it was read.
  bool stampTrusted_ = false;
  FileStamp stamp_;
  // What is to be said once, and whether the state has a nameless share.
  std::vector<std::string> notices_;
  bool namelessSaid_ = false;
};

}  // namespace qm
