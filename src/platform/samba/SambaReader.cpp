#include "platform/samba/SambaReader.h"

#include <set>
#include <utility>

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
  std::vector<std::string> args = {"--json"};
  if (!options_.smbConf.empty()) args.push_back("--configfile=" + options_.smbConf);
  ProcessResult run;
  if (NetStatus s = tools_.Run(options_.smbstatus, std::move(args), run, &reading.failure)) {
    // A tool that cannot be started at all is no passing state.
    if (run.outcome == ProcessResult::Outcome::NotStarted) return s;
    return sources_.Unreadable(s, reading.failure);
  }
  std::string why;
  if (!SmbStatusParser::Parse(run.out, reading.smb, why)) {
    reading.failure = why;
    return sources_.Unreadable(kSambaBadOutput, reading.failure);
  }
  SettleAuthenticating(reading.smb, accounts_);
  reading.tables =
      SambaTables::Make(sources_.Shares(), reading.smb, sources_.Usershares(), sources_.Printers());
  return NERR_Success;
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
