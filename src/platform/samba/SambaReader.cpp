// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/samba/SambaReader.h"

#include <set>
#include <utility>

#include "platform/samba/SambaClusterNode.h"
#include "platform/samba/SambaTables.h"

namespace qm {

std::shared_ptr<SambaReading> SambaReader::Read() {
  auto reading = std::make_shared<SambaReading>();
  std::lock_guard lock(mutex_);
  reading->started = std::chrono::steady_clock::now();
  reading->status = ReadInto(*reading);
  reading->pidDirectory = sources_.PidDirectory();
  reading->conf = sources_.ConfPath();
  reading->seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - reading->started).count();
  return reading;
}

NetStatus SambaReader::ReadInto(SambaReading& reading) {
  if (NetStatus s = sources_.Refresh(reading.failure, reading.notices)) return s;
  if (sources_.SmbdPid() == 0) {
    reading.failure = "smbd is not running";
    return NERR_ServerNotStarted;
  }
  LearnNode(reading);
  std::vector<std::string> sharePaths;
  for (const auto* list : {&sources_.Shares().Shares(), &sources_.Usershares()}) {
    for (const auto& share : *list) {
      std::string_view path = share.path;
      while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
      sharePaths.emplace_back(path);
    }
  }
  // A tool gone while the program runs leaves the state unknown, as any
  // failed reading does: no visit ends for it.
  const NetStatus s = listing_.Read(sharePaths, reading.smb, reading.failure, reading.notices);
  reading.toolKb = listing_.MaxResidentKb();
  reading.apart = listing_.ReadingParts();
  if (s) return sources_.Unreadable(s, reading.failure);
  SettleAuthenticating(reading.smb, accounts_);
  reading.tables =
      SambaTables::Make(sources_.Shares(), reading.smb, sources_.Usershares(), sources_.Printers());
  return NERR_Success;
}

void SambaReader::LearnNode(SambaReading& reading) {
  reading.clustered = SambaClusterNode::Yes(sources_.Shares().Global("clustering"));
  if (!reading.clustered) {
    pnn_ = -1;
    pnnFailureSaid_ = false;
    return;
  }
  if (pnn_ < 0) {
    ProcessResult run;
    std::string why;
    if (tools_.Run(options_.ctdb, {"pnn"}, run, &why) == NERR_Success) {
      pnn_ = SambaClusterNode::ParsePnn(run.out);
      if (pnn_ < 0) why = "ctdb pnn answered \"" + run.out.substr(0, 40) + "\"";
    }
    if (pnn_ < 0 && !pnnFailureSaid_) {
      reading.notices.push_back("This cluster node's number cannot be learnt (" + why +
                                "); no session is ended until it can");
      pnnFailureSaid_ = true;
    }
  }
  reading.pnn = pnn_;
}

void SambaReader::SettleAuthenticating(SmbStatus& status,
                                       std::unordered_map<std::string, std::string>& accounts) {
  constexpr std::string_view kAuthenticating = "(auth in progress)";
  std::unordered_map<std::string, std::string> now;
  std::set<std::string> newIds;
  std::set<long> newPids;
  std::erase_if(status.sessions, [&](SmbStatus::Session& s) {
    if (s.username == kAuthenticating) {
      auto known = accounts.find(s.id);
      if (s.id.empty() || known == accounts.end()) {
        newIds.insert(s.id);
        newPids.insert(s.pid);
        return true;
      }
      s.username = known->second;
    }
    if (!s.id.empty()) now[s.id] = s.username;
    return false;
  });
  accounts = std::move(now);
  if (newIds.empty()) return;
  // A tree connect that names no session belongs to its process's: left out
  // when only new sessions live in that process.
  std::set<long> keptPids;
  for (const auto& s : status.sessions) keptPids.insert(s.pid);
  std::erase_if(status.treeConnects, [&](const SmbStatus::TreeConnect& tc) {
    if (!tc.sessionId.empty()) return newIds.count(tc.sessionId) > 0;
    return newPids.count(tc.pid) > 0 && keptPids.count(tc.pid) == 0;
  });
}

}  // namespace qm
