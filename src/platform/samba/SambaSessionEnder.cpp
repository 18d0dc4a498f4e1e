// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/samba/SambaSessionEnder.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/samba/SambaClusterNode.h"
#include "platform/samba/SambaTables.h"
#include "platform/samba/SmbdProcess.h"

namespace qm {

namespace {
// How long a deletion waits for the ended smbd processes to go, so the
// next reading no longer shows them.
constexpr std::chrono::milliseconds kShutdownWait{1000};
}  // namespace

std::set<std::pair<std::int64_t, long>> SambaSessionEnder::ProcessesOf(const SmbStatus& status,
                                                                       const std::string& client,
                                                                       const std::string& address) {
  std::set<std::pair<std::int64_t, long>> pids;
  std::set<std::string> ofClient;
  for (const auto& s : status.sessions) {
    if (SambaTables::ClientKey(s) != client) continue;
    if (!address.empty() && SmbStatusParser::AddressOf(s.hostname) != address) continue;
    ofClient.insert(s.id);
    if (s.pid > 0) pids.insert({s.vnn, s.pid});
  }
  for (const auto& tc : status.treeConnects) {
    const bool known = std::any_of(status.sessions.begin(), status.sessions.end(),
                                   [&](const auto& s) { return s.id == tc.sessionId; });
    // A tree connect without its session tells no address.
    if (ofClient.count(tc.sessionId) || (!known && address.empty() && tc.machine == client)) {
      if (tc.pid > 0) pids.insert({tc.vnn, tc.pid});
    }
  }
  return pids;
}

NetStatus SambaSessionEnder::Shutdown(const std::string& destination, std::string* why) const {
  std::vector<std::string> args;
  if (options_.endSession.empty() && !options_.smbConf.empty()) {
    args.push_back("--configfile=" + options_.smbConf);
  }
  args.push_back(destination);
  if (options_.endSession.empty()) args.push_back("shutdown");
  ProcessResult run;
  return tools_.Run(options_.endSession.empty() ? options_.smbcontrol : options_.endSession,
                    std::move(args), run, why);
}

void SambaSessionEnder::Say(std::string text, std::vector<std::string>& notices) const {
  std::lock_guard lock(saidMutex_);
  if (said_.insert(text).second) notices.push_back(std::move(text));
}

bool SambaSessionEnder::EndOnOtherNodes(const std::string& client,
                                        const std::set<std::pair<std::int64_t, long>>& processes,
                                        std::vector<std::string>& notices,
                                        std::string* whyNot) const {
  bool ok = true;
  for (const auto& [vnn, pid] : processes) {
    std::string why;
    if (Shutdown(SambaClusterNode::Destination(vnn, pid), &why) != NERR_Success) {
      std::string text = "The session of " + client + " on cluster node " + std::to_string(vnn) +
                         " (process " + std::to_string(pid) + ") could not be ended: " + why;
      if (whyNot && whyNot->empty()) *whyNot = text;
      Say(std::move(text), notices);
      ok = false;
    }
  }
  return ok;
}

NetStatus SambaSessionEnder::End(const std::string& client, const std::string& address,
                                 const SambaReading& reading, bool stale,
                                 std::vector<std::string>& notices, std::string* whyNot) const {
  std::set<long> pids;
  std::set<std::pair<std::int64_t, long>> elsewhere;
  bool refused = false;
  for (const auto& [vnn, pid] : ProcessesOf(reading.smb, client, address)) {
    std::string why;
    switch (SambaClusterNode::PlaceOf(reading.clustered, reading.pnn, vnn, why)) {
      case SambaClusterNode::Place::Local:
        pids.insert(pid);
        break;
      case SambaClusterNode::Place::OtherNode:
        elsewhere.insert({vnn, pid});
        break;
      case SambaClusterNode::Place::Refused:
        if (whyNot && whyNot->empty()) *whyNot = why;
        Say(why, notices);
        refused = true;
        break;
    }
  }
  const bool endedElsewhere = EndOnOtherNodes(client, elsewhere, notices, whyNot);
  const NetStatus failed = refused || !endedElsewhere ? kSambaToolFailed : NERR_Success;
  // Never the main smbd (that would end every client) nor ourselves.
  pids.erase(SmbdProcess::MainPid(reading.pidDirectory, reading.conf));
  pids.erase(static_cast<long>(::getpid()));
  std::erase_if(pids, [](long pid) { return pid == 1 || SmbdProcess::IsMain(pid); });
  if (stale) std::erase_if(pids, [](long pid) { return !SmbdProcess::Alive(pid); });
  if (pids.empty()) {
    if (failed || !elsewhere.empty()) return failed;
    return NERR_ClientNameNotFound;
  }

  NetStatus result = NERR_Success;
  for (long pid : pids) {
    std::string why;
    const NetStatus s = Shutdown(std::to_string(pid), &why);
    // A process that has gone meanwhile needs no shutdown.
    if (s != NERR_Success && result == NERR_Success && SmbdProcess::Alive(pid)) {
      result = s;
      if (whyNot) *whyNot = why;
    }
  }
  const auto deadline = std::chrono::steady_clock::now() + kShutdownWait;
  while (
      result == NERR_Success && !tools_.Stopped() && std::chrono::steady_clock::now() < deadline &&
      !std::all_of(pids.begin(), pids.end(), [](long pid) { return !SmbdProcess::Alive(pid); })) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return result ? result : failed;
}

}  // namespace qm
