// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
//
// The metrics endpoint's web configuration as a planted or damaged file
// gives it: any text is either a configuration whose every file name is
// absolute, every hash a bcrypt hash, every TLS setting within the versions
// named and every header a single line, or refused with a reason.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "observe/WebConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto config = qm::WebConfig::Parse(text, "/etc/quillmoor98", error);
  if (!config) {
    if (error.empty()) std::abort();
    return 0;
  }
  for (const std::string* file : {&config->certFile, &config->keyFile, &config->clientCaFile}) {
    if (!file->empty() && file->front() != '/') std::abort();
  }
  if (config->Tls() == config->keyFile.empty()) std::abort();
  if (config->Tls() != (config->priorities.rfind("NORMAL:-VERS-ALL:+VERS-TLS1.", 0) == 0)) {
    std::abort();
  }
  for (const auto& [name, value] : config->headers) {
    if (value.empty() || value.find_first_of("\r\n") != std::string::npos) std::abort();
  }
  for (const auto& [user, hash] : config->users) {
    if (user.empty() || hash.size() != 60 || hash.compare(0, 2, "$2") != 0) std::abort();
  }
  return 0;
}
