// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/ProgramPaths.h"

#include <cstdlib>

namespace qm {

std::string ProgramDirectoryFor(const std::string& programFile,
                                const std::string& installedDefault) {
  if (const char* dir = std::getenv("QUILLMOOR98_PROGRAM_DIR"); dir && *dir) {
    std::string d = dir;
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    return d;
  }
  if (!installedDefault.empty()) return installedDefault;
  const std::string folder = FolderOf(programFile);
  return folder.empty() ? "." : folder;
}

std::string SysconfDir() {
  const char* dir = std::getenv("QUILLMOOR98_SYSCONFDIR");
  std::string d = dir && *dir ? dir : "/etc";
  while (d.size() > 1 && d.back() == '/') d.pop_back();
  return d;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

}  // namespace qm
