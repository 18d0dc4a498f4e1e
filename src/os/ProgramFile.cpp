// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "os/ProgramFile.h"

#include <unistd.h>

#include <vector>

namespace qm {

std::string ProgramFile() {
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  // A path that fills the buffer may have been cut.
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return {};
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace qm
