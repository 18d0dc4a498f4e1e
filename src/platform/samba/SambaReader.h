// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/ServerTables.h"
#include "platform/samba/SambaOptions.h"
#include "platform/samba/SambaShareSources.h"
#include "platform/samba/SambaStatusListing.h"
#include "platform/samba/SambaTools.h"
#include "platform/samba/SmbStatusParser.h"

namespace qm {

// One reading of Samba's state, kept whole so the tick, the session
// enumerations and a deletion can share it across threads.
struct SambaReading {
  NetStatus status = NERR_Success;
  ServerTables tables;
  SmbStatus smb;
  std::chrono::steady_clock::time_point started;
  double seconds = 0;                // how long it took
  long toolKb = 0;                   // the peak resident memory of its smbstatus runs
  bool apart = false;                // smbstatus's listing was read in parts
  std::uint64_t serial = 0;          // readings are numbered as they end
  std::string failure;               // why it failed ("" after a success)
  std::vector<std::string> notices;  // what the user is to be told
  // Where the main smbd's pid file was, for a deletion that uses it.
  std::string pidDirectory, conf;
  // smb.conf says `clustering = yes`; pnn: this node's number then (-1
  // when ctdb could not tell it).
  bool clustered = false;
  std::int64_t pnn = -1;
};
using SambaReadingPtr = std::shared_ptr<const SambaReading>;

// Takes readings of Samba's state, one at a time: the share sources
// brought up to date, smbstatus's listing read (SambaStatusListing),
// sessions still authenticating settled, the tables made.
class SambaReader {
 public:
  SambaReader(const SambaOptions& options, const SambaTools& tools)
      : options_(options), tools_(tools), sources_(options, tools), listing_(options, tools) {}

  // A reading taken now (after the one in progress, if any); serial 0.
  std::shared_ptr<SambaReading> Read();

  // Samba shows a session as "(auth in progress)" while it authenticates:
  // a new session, or one renewing its credentials. That is no account. A
  // renewing session keeps the account it had (accounts: by session id,
  // from the readings before; brought up to date); a new one is no user
  // yet, and its tree connects are left out of the reading.
  static void SettleAuthenticating(SmbStatus& status,
                                   std::unordered_map<std::string, std::string>& accounts);

 private:
  NetStatus ReadInto(SambaReading& reading);
  // This node's number, asked of ctdb while it is not known.
  void LearnNode(SambaReading& reading);

  const SambaOptions& options_;
  const SambaTools& tools_;
  std::mutex mutex_;  // held for a whole reading
  SambaShareSources sources_;
  SambaStatusListing listing_;
  std::unordered_map<std::string, std::string> accounts_;  // by session id, last reading
  std::int64_t pnn_ = -1;
  bool pnnFailureSaid_ = false;
};

}  // namespace qm
