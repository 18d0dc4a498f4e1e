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

  // 95/98: with size 0 only counts; otherwise the records are packed, and
  // a buffer too small tells the size needed.
  template <typename Packer>
  NetStatus Pack50(std::size_t count, std::uint16_t recordSize, char* buffer, std::uint32_t size,
                   std::uint16_t& read, std::uint16_t& total, std::uint32_t& needed, Packer pack);

  // Rebuilds the indexes over shareTables_ (after every share reading);
  // before: the reading before, whose conversions are reused.
  void IndexShareTables(const ServerTables& before);
  // holderKey_ for a narrow share name and client.
  void NarrowHolderKey(const std::string& share, const std::string& client,
                       const std::string& address);

  std::mutex mutex_;
  ServerTables shareTables_;  // from the last share enumeration
  ServerTables spareTables_;  // from the one before (storage for the next)
  // Indexes over shareTables_: connections by upper-cased share name, open
  // files by account, so a tick's enumerations stay linear in what they list.
  std::unordered_map<std::string, std::vector<std::size_t>> connectionsByShare_;
  std::unordered_map<std::string, std::vector<std::size_t>> filesByUser_;
  // Open files by holder: the upper-cased share name, a zero, the client,
  // a zero, its address (a file that names no share: an empty share name).
  std::unordered_map<std::u16string, std::vector<std::uint32_t>> filesByHolder_;
  std::vector<std::uint32_t> filesOfNoClient_;
  bool filesWithoutShare_ = false;  // some file names its client but no share
  std::u16string holderKey_;        // reused for every lookup
  std::u16string holderShare_, holderClient_, holderAddress_;
  // Per connection record: its holder's entry of filesByHolder_ (null: none).
  std::vector<const std::vector<std::uint32_t>*> filesOfConnection_;
  // The NT family's wide texts of the connections (client, user) and open
  // files (path, user), converted once per reading rather than per call.
  // Results share them (a reading makes new ones; older results keep theirs).
  std::shared_ptr<std::vector<CONNECTION_INFO_1>> wideConnections_;
  std::shared_ptr<std::vector<FILE_INFO_3>> wideFiles_;
  ServerTables sessionTables_;  // from the last session enumeration
  // 95/98 two-call protocol: the first call (size 0) reads the state and
  // the second call answers from the same reading.
  std::unordered_map<std::thread::id, ServerTables> pending50Sessions_;
};

}  // namespace qm
