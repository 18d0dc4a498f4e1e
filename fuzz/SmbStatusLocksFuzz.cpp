// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The reader of `smbstatus -L`'s text over any bytes: it never crashes or
// hangs, and every open it keeps is whole (a process id, a share path of
// one line and a name, which may go on over several lines, of one row).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "platform/samba/SmbStatusParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  static const std::vector<std::string> known = {"/srv/data", "/srv/my   share", "/"};
  const auto opens = qm::SmbStatusParser::ParseLocks(text, known);
  std::size_t bytes = 0;
  for (const auto& open : opens) {
    Check(open.pid > 0);
    Check(open.servicePath.find('\n') == std::string::npos);
    bytes += open.servicePath.size() + open.filename.size();
  }
  Check(bytes <= size);
  return 0;
}
