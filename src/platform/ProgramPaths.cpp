// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/ProgramPaths.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace qm {

std::string ProgramFile() {
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

std::string ProgramDirectoryFor(const std::string& programFile,
                                const std::string& installedDefault) {
  if (const char* dir = std::getenv("QUILLMOOR98_PROGRAM_DIR"); dir && *dir) {
    std::string d = dir;
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    return d;
  }
  if (!installedDefault.empty()) return installedDefault;
  const auto slash = programFile.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return programFile.substr(0, slash);
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
