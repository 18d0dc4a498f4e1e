// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/samba/SambaServerBackend.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
                           ProcessRunner::Executable("sudo");
  options.elevate = SambaTools::ElevationFor(elevate, root, sudoAllowed);
  if (!options.elevate.empty() && options.smbConf.empty())
    options.endSession = SambaTools::EndSessionTool();
  // The program's ticks never wait for a tool.
  options.readAhead = true;
  return options;
}

SambaServerBackend::SambaServerBackend(Options options)
    : options_(std::move(options)),
      tools_(options_.elevate, options_.toolTimeout, options_.toolMemory),
      reader_(options_, tools_),
      ender_(options_, tools_),
      schedule_(reader_, ender_, options_.readAhead,
                [this](const SambaReading& reading, bool asked) {
                  ReadingDone(reading.status == NERR_Success, reading.seconds);
                  if (asked) ReadingReady();
                }) {
  schedule_.SetReuse(options_.sessionReuse);
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

void SambaServerBackend::SetDeletionsWait(bool on) {
  schedule_.SetDeletionsWait(on);
}

std::string SambaServerBackend::DeletionFailure() const {
  return schedule_.DeletionFailure();
}

std::vector<std::string> SambaServerBackend::TakeNotices() {
  return schedule_.TakeNotices();
}

bool SambaServerBackend::Load(std::string& why) {
  // Found as the runs find them: in PATH; behind sudo, also in the system
  // folders of its secure_path.
  std::vector<std::string> needed = {options_.smbstatus, options_.testparm, options_.smbcontrol};
  if (!options_.endSession.empty()) needed.push_back(options_.endSession);
  const std::vector<std::string> noDirs;
  const auto& dirs = options_.elevate.empty() ? noDirs : SambaTools::ToolDirs();
  if (!options_.elevate.empty() && !ProcessRunner::Executable(options_.elevate.front())) {
    why = options_.elevate.front() + " was not found: it elevates Samba's tools";
    return false;
  }
  for (const auto& tool : needed) {
    if (!ProcessRunner::Executable(tool, dirs)) {
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
  std::vector<std::string> deleted;
  const SambaReadingPtr r = schedule_.ForSessions(deleted);
  if (r->status) return r->status;
  tables = r->tables;
  std::erase_if(tables.sessions, [&](const ServerTables::Session& s) {
    return std::find(deleted.begin(), deleted.end(), s.client) != deleted.end() ||
           std::find(deleted.begin(), deleted.end(), s.client + '\0' + s.address) != deleted.end();
  });
  return NERR_Success;
}

bool SambaServerBackend::StartReading() {
  return schedule_.Request();
}

bool SambaServerBackend::ReadingComplete() {
  return schedule_.RequestDone();
}

NetStatus SambaServerBackend::DeleteClientSessions(const std::string& client,
                                                   const std::string& address,
                                                   const std::uint32_t* /*key*/) {
  // The schedule knows a client by its name, or by its name, a zero byte
  // and the address it is from.
  return schedule_.Delete(address.empty() ? client : client + '\0' + address);
}

}  // namespace qm
