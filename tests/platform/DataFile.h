// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "os/AtomicFile.h"

namespace qm::test {

// The text of a file under tests/platform/data (captures of real tools).
inline std::string DataFile(const std::string& name) {
  const char* source = std::getenv("QM_SOURCE_DIR");
  const std::filesystem::path dir = source ? std::filesystem::path(source) / "tests/platform/data"
                                           : std::filesystem::path(__FILE__).parent_path() / "data";
  std::string text, error;
  ReadWholeFile((dir / name).string(), text, error);
  return text;
}

}  // namespace qm::test
