// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "app/InstalledLayout.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/ProgramPaths.h"
#include "store/SettingsFile.h"

namespace qm {

namespace {
bool RegularFile(const std::string& path, bool executable) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return !executable || ::access(path.c_str(), X_OK) == 0;
}
}  // namespace

bool InstalledLayout::Covers(const std::string& runningProgram) const {
  return !programFile.empty() && runningProgram == programFile;
}

namespace {
std::string Sibling(const std::string& file, const char* name) {
  const auto slash = file.find_last_of('/');
  return (slash == std::string::npos ? std::string() : file.substr(0, slash + 1)) + name;
}
}  // namespace

std::string InstalledLayout::DesktopProgramFor(const std::string& runningProgram) const {
  if (Covers(runningProgram) && !desktopProgram.empty()) return desktopProgram;
  return Sibling(runningProgram, kDesktopProgramName);
}

std::string InstalledLayout::ProgramFileFor(const std::string& runningDesktop) const {
  if (!desktopProgram.empty() && runningDesktop == desktopProgram) return programFile;
  return Sibling(runningDesktop, kProgramName);
}

void InstalledLayout::Apply(ApplicationConfig& config) const {
  const bool installed = Covers(config.programFile);
  config.programDirectory =
      ProgramDirectoryFor(config.programFile, installed ? programDirectory : std::string());
  const char* sysconf = std::getenv("QUILLMOOR98_SYSCONFDIR");
  if (installed && !settingsDirectory.empty() && !(sysconf && *sysconf)) {
    config.settingsPath = JoinPath(settingsDirectory, kSettingsFileName);
  } else {
    config.settingsPath = SettingsFilePath();
  }
  config.helpFile = installed && RegularFile(helpFile, false) ? helpFile : std::string();
  config.nbtstatPath = installed && RegularFile(nbtstatTool, true) ? nbtstatTool : std::string();
}

}  // namespace qm
