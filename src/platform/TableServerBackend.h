// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/ServerBackend.h"
#include "core/ServerTables.h"
#include "platform/ShareTableIndex.h"

namespace qm {

// The platform calls named after the ones they stand for, for failure
// injection.
enum class ServerCall {
  NetShareEnum,
  NetConnectionEnum,
  NetFileEnum,
  NetSessionEnum,
  NetSessionDel,
  NetApiBufferFree
};
const char* ServerCallName(ServerCall call);

// Serves both families of platform calls from ServerTables. A subclass
// says where the tables come from: they are read afresh at every share
// enumeration and every session enumeration; connection and file
// enumerations answer from the tables of the last share enumeration.
class TableServerBackend : public ServerBackend {
 public:
  std::uint32_t GetVersion() override;

  NetStatus NetShareEnum(NtBuffer** buffer, std::uint32_t& read, std::uint32_t& total) override;
  NetStatus NetConnectionEnum(const char16_t* qualifier, NtBuffer** buffer, std::uint32_t& read,
                              std::uint32_t& total) override;
  NetStatus NetFileEnum(const char16_t* basePath, const char16_t* userName, NtBuffer** buffer,
                        std::uint32_t& read, std::uint32_t& total) override;
  // Files that name their client are listed under that client only: through
  // the share they name, or, naming none, under the share's path. Files that
  // name no client are listed by account and base path.
  NetStatus NetFileEnumOfConnection(const char16_t* share, const char16_t* client,
                                    const char16_t* address, std::uint32_t connection,
                                    const char16_t* basePath, const char16_t* userName,
                                    NtBuffer** buffer, std::uint32_t& read,
                                    std::uint32_t& total) override;
  NetStatus NetSessionEnum(NtBuffer** buffer, std::uint32_t& read, std::uint32_t& total) override;
  NetStatus NetSessionDel(const char16_t* clientName, const char16_t* userName) override;
  NetStatus NetSessionDelFrom(const char16_t* clientName, const char16_t* address,
                              const char16_t* userName) override;
  NetStatus NetApiBufferFree(NtBuffer* buffer) override;

  NetStatus NetShareEnum50(char* buffer, std::uint32_t size, std::uint16_t& read,
                           std::uint16_t& total, std::uint32_t& needed) override;
  NetStatus NetConnectionEnum50(const char* qualifier, char* buffer, std::uint32_t size,
                                std::uint16_t& read, std::uint16_t& total,
                                std::uint32_t& needed) override;
  NetStatus NetFileEnum50(const char* basePath, char* buffer, std::uint32_t size,
                          std::uint16_t& read, std::uint16_t& total,
                          std::uint32_t& needed) override;
  NetStatus NetSessionEnum50(char* buffer, std::uint32_t size, std::uint16_t& read,
                             std::uint16_t& total, std::uint32_t& needed) override;
  NetStatus NetSessionDel50(const char* clientName, std::uint16_t key) override;

  // The session table as a fresh session enumeration would read it, with
  // each session's address (which neither family's records carry). 0 or
  // the status that enumeration would give.
  NetStatus SessionTable(std::vector<ServerTables::Session>& sessions);

  bool ClientSecurity(const std::string& client, SessionSecurity& security) override;

 protected:
  // True for the 95/98 family.
  virtual bool Is95() const { return false; }
  // Fresh tables for a share enumeration / a session enumeration.
  virtual NetStatus ReadForShares(ServerTables& tables) = 0;
  virtual NetStatus ReadForSessions(ServerTables& tables) = 0;
  // True when current, the tables of the last share reading, still hold,
  // so they are neither read nor indexed again.
  virtual bool SharesUnchanged(const ServerTables& /*current*/) { return false; }
  // Ends every session of client (from address unless that is empty; with
  // key, on 95/98); 2312 when it has none.
  virtual NetStatus DeleteClientSessions(const std::string& client, const std::string& address,
                                         const std::uint32_t* key) = 0;
  // A status a call is told to give instead of working (0: work normally).
  virtual NetStatus InjectedStatus(ServerCall /*call*/) { return 0; }

 private:
  // The readings with every zero byte inside a text escaped (a platform
  // string would end there); deletions restore it in the client's name.
  NetStatus ReadSharesKeepingNames(ServerTables& tables);
  NetStatus ReadSessionsKeepingNames(ServerTables& tables);

  std::mutex mutex_;
  ServerTables shareTables_;  // from the last share enumeration
  ServerTables spareTables_;  // from the one before (storage for the next)
  ShareTableIndex index_;     // over shareTables_
  // 95/98 two-call protocol: the first call (size 0) reads the state and
  // the second call answers from the same reading.
  std::unordered_map<std::thread::id, ServerTables> pending50Sessions_;
};

}  // namespace qm
