#include "platform/samba/SambaServerBackend.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace qm {

SambaServerBackend::Options SambaServerBackend::OptionsFromEnvironment() {
  Options options;
  if (const char* conf = std::getenv("QUILLMOOR98_SMB_CONF"); conf && *conf) options.smbConf = conf;
  const char* elevate = std::getenv("QUILLMOOR98_SAMBA_ELEVATE");
  const bool root = ::geteuid() == 0;
  const bool sudoAllowed = !elevate && !root && SambaTools::HoldsGroup(kElevationGroup) &&
                           ProcessRunner::Executable("sudo", SambaTools::ToolDirs());
  options.elevate = SambaTools::ElevationFor(elevate, root, sudoAllowed);
  if (!options.elevate.empty() && options.smbConf.empty())
    options.endSession = SambaTools::EndSessionTool();
  // The program's ticks never wait for a tool.
  options.readAhead = true;
  return options;
}

SambaServerBackend::SambaServerBackend(Options options)
    : options_(std::move(options)),
      tools_(options_.elevate, options_.toolTimeout),
      reader_(options_, tools_),
      ender_(options_, tools_),
      schedule_(reader_, options_.readAhead, [this](const SambaReading& reading) {
        ReadingDone(reading.status == NERR_Success, reading.seconds);
      }) {
  schedule_.SetReuse(options_.sessionReuse, options_.readAheadReuse);
}

SambaServerBackend::~SambaServerBackend() {
  Unload();
}

void SambaServerBackend::Unload() {
  tools_.Stop();
  schedule_.StopWorker();
  tools_.Resume();
}

void SambaServerBackend::SetReadAhead(bool on) {
  schedule_.SetReadAhead(on);
}

std::vector<std::string> SambaServerBackend::TakeNotices() {
  return schedule_.TakeNotices();
}

bool SambaServerBackend::Load(std::string& why) {
  std::vector<std::string> needed = {options_.smbstatus, options_.testparm, options_.smbcontrol};
  if (!options_.endSession.empty()) needed.push_back(options_.endSession);
  if (!options_.elevate.empty()) needed.insert(needed.begin(), options_.elevate.front());
  for (const auto& tool : needed) {
    if (!ProcessRunner::Executable(tool, SambaTools::ToolDirs())) {
      why = "Samba's tools are not installed: " + tool +
            " was not found (install the packages samba and samba-common-bin)";
      return false;
    }
  }
  if (!options_.smbConf.empty()) {
    struct stat st;
    if (::stat(options_.smbConf.c_str(), &st) != 0) {
      why = "QUILLMOOR98_SMB_CONF names " + options_.smbConf + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

std::string SambaServerBackend::LastFailure() const {
  return schedule_.LastFailure();
}

NetStatus SambaServerBackend::ReadForShares(ServerTables& tables) {
  const SambaReadingPtr r = schedule_.ForShares();
  if (r->status) return r->status;
  tables = r->tables;
  return NERR_Success;
}

bool SambaServerBackend::SharesUnchanged(const ServerTables& /*current*/) {
  return schedule_.SharesUnchanged();
}

NetStatus SambaServerBackend::ReadForSessions(ServerTables& tables) {
  const SambaReadingPtr r = schedule_.Recent();
  if (r->status) return r->status;
  tables = r->tables;
  return NERR_Success;
}

NetStatus SambaServerBackend::DeleteClientSessions(const std::string& client,
                                                   const std::uint32_t* /*key*/) {
  // With the worker, the tick's own reading serves, even one that still
  // shows processes ended since: they are passed over, so a rule that
  // chooses the client again costs no tool run on the caller's thread.
  const SambaReadingPtr reading = schedule_.Recent(schedule_.ReadAhead());
  if (reading->status) return reading->status;
  const NetStatus result =
      ender_.End(client, *reading, schedule_.StartedBeforeLastDeletion(*reading));
  if (result != NERR_ClientNameNotFound) schedule_.Deleted();
  return result;
}

}  // namespace qm
