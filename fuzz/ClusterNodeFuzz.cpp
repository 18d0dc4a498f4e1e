// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The end-session helper's NODE:PID argument (given by whoever runs it
// through sudo) and ctdb's answer to "pnn" over any bytes: whatever is
// taken is exactly one form, and nothing is taken that names no node.
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/samba/SambaClusterNode.h"
#include "platform/samba/SmbStatusParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::int64_t vnn = -1;
  long pid = 0;
  if (qm::SambaClusterNode::ParseDestination(text, vnn, pid)) {
    Check(vnn >= 0 && vnn < qm::kNonClusterVnn && pid > 0 && pid <= 9999999);
    // Leading zeros aside, the destination made again is the text taken.
    Check(qm::SambaClusterNode::Destination(vnn, pid).size() <= text.size());
  }
  const std::int64_t pnn = qm::SambaClusterNode::ParsePnn(text);
  Check(pnn >= -1 && pnn < qm::kNonClusterVnn);
  return 0;
}
