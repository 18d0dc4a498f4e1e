// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/ServerBackend.h"
#include "platform/samba/SambaOptions.h"
#include "platform/samba/SambaReader.h"
#include "platform/samba/SambaTools.h"

namespace qm {

// Ends a client's sessions: every client smbd process a reading shows
// serving it is told to shut down (through the end-session helper when
// elevated, else smbcontrol), never the main smbd nor this program. On a
// cluster node a process of another node is told through smbcontrol
// NODE:PID, never as a local process; a session whose node cannot be told
// apart from this one's is not ended, and the user is told why.
class SambaSessionEnder {
 public:
  SambaSessionEnder(const SambaOptions& options, const SambaTools& tools)
      : options_(options), tools_(tools) {}

  // stale: the reading began before an earlier deletion, so processes it
  // shows may have ended since (those are passed over). 0 once every
  // process was told and has gone (or the wait for them ran out);
  // NERR_ClientNameNotFound when the reading shows none to end.
  // address: only the client's sessions from that peer address ("": all).
  // kSambaToolFailed when a session was not ended for a reason notices
  // learns (each reason once). why: the first reason a session was not
  // ended, every time.
  NetStatus End(const std::string& client, const std::string& address, const SambaReading& reading,
                bool stale, std::vector<std::string>& notices, std::string* why = nullptr) const;

  // The smbd processes of client's sessions (from address unless that is
  // empty) and tree connects, each with its node (-1 when smbstatus names
  // none).
  static std::set<std::pair<std::int64_t, long>> ProcessesOf(const SmbStatus& status,
                                                             const std::string& client,
                                                             const std::string& address = {});

 private:
  // Tells the processes of other nodes to shut down; false when one failed.
  bool EndOnOtherNodes(const std::string& client,
                       const std::set<std::pair<std::int64_t, long>>& processes,
                       std::vector<std::string>& notices, std::string* why) const;
  // Tells the smbd of destination ("PID" or "NODE:PID") to shut down.
  NetStatus Shutdown(const std::string& destination, std::string* why) const;
  void Say(std::string text, std::vector<std::string>& notices) const;

  const SambaOptions& options_;
  const SambaTools& tools_;
  mutable std::mutex saidMutex_;
  mutable std::set<std::string> said_;  // the reasons told already
};

}  // namespace qm
