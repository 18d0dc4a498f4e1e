// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The `testparm -s` reader over any bytes: it never crashes, and every
// share it lists is found again by its name.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/samba/SambaShareList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const qm::SambaShareList list = qm::SambaShareList::Parse(text);
  for (const auto& share : list.Shares()) {
    const qm::SambaShare* found = list.Find(share.name);
    Check(found != nullptr);
  }
  (void)list.Global("pid directory");
  return 0;
}
