#include "platform/samba/SambaSessionEnder.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/samba/SambaTables.h"
#include "platform/samba/SmbdProcess.h"

namespace qm {

namespace {
// How long a deletion waits for the ended smbd processes to go, so the
// next reading no longer shows them.
constexpr std::chrono::milliseconds kShutdownWait{1000};
}  // namespace

std::set<long> SambaSessionEnder::ProcessesOf(const SmbStatus& status, const std::string& client) {
  std::set<long> pids;
  std::set<std::string> ofClient;
  for (const auto& s : status.sessions) {
    if (SambaTables::ClientKey(s) != client) continue;
    ofClient.insert(s.id);
    if (s.pid > 0) pids.insert(s.pid);
  }
  for (const auto& tc : status.treeConnects) {
    const bool known = std::any_of(status.sessions.begin(), status.sessions.end(),
                                   [&](const auto& s) { return s.id == tc.sessionId; });
    if (ofClient.count(tc.sessionId) || (!known && tc.machine == client)) {
      if (tc.pid > 0) pids.insert(tc.pid);
    }
  }
  return pids;
}

NetStatus SambaSessionEnder::End(const std::string& client, const SambaReading& reading,
                                 bool stale) const {
  std::set<long> pids = ProcessesOf(reading.smb, client);
  // Never the main smbd (that would end every client) nor ourselves.
  pids.erase(SmbdProcess::MainPid(reading.pidDirectory, reading.conf));
  pids.erase(static_cast<long>(::getpid()));
  std::erase_if(pids, [](long pid) { return pid == 1 || SmbdProcess::IsMain(pid); });
  if (stale) std::erase_if(pids, [](long pid) { return !SmbdProcess::Alive(pid); });
  if (pids.empty()) return NERR_ClientNameNotFound;

  NetStatus result = NERR_Success;
  for (long pid : pids) {
    std::vector<std::string> args;
    if (options_.endSession.empty() && !options_.smbConf.empty()) {
      args.push_back("--configfile=" + options_.smbConf);
    }
    args.push_back(std::to_string(pid));
    if (options_.endSession.empty()) args.push_back("shutdown");
    ProcessResult run;
    const NetStatus s =
        tools_.Run(options_.endSession.empty() ? options_.smbcontrol : options_.endSession,
                   std::move(args), run, nullptr);
    // A process that has gone meanwhile needs no shutdown.
    if (s != NERR_Success && result == NERR_Success && SmbdProcess::Alive(pid)) result = s;
  }
  const auto deadline = std::chrono::steady_clock::now() + kShutdownWait;
  while (
      result == NERR_Success && !tools_.Stopped() && std::chrono::steady_clock::now() < deadline &&
      !std::all_of(pids.begin(), pids.end(), [](long pid) { return !SmbdProcess::Alive(pid); })) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return result;
}

}  // namespace qm
