// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The "KickList.dat" reader over any bytes: every entry read writes back and
// reads again the same, the list built from it finds each entry by its
// name and by its address, and neither costs more than a few times the
// bytes read.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "FuzzCheck.h"
#include "core/Text.h"
#include "enforce/DataLines.h"
#include "enforce/DisconnectListFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto lines = qm::DisconnectListFile::Parse(text);
  Check(lines.size() == qm::DataLines::Split(text).size() / 2 * 2);
  Check(lines.MemoryBytes() <= 5 * size + 64);
  Check(qm::DisconnectListFile::Parse(qm::DisconnectListFile::Format(lines)) == lines);

  qm::DisconnectList list;
  list.Restore(lines);
  Check(list.MemoryBytes() <= 8 * size + 1024);
  for (std::size_t i = 0; i < list.Count(); ++i) {
    const std::string_view name = list.Name(i), address = list.Address(i);
    const int found = list.FindByName(name);
    Check(found >= 0 && static_cast<std::size_t>(found) <= i);
    Check(qm::SameTextAsciiNoCase(list.Name(static_cast<std::size_t>(found)), name));
    const bool placeholder = qm::DisconnectList::IsPlaceholderAddress(address);
    Check(list.ContainsAddress(address) == !placeholder);
    Check(list.ListsUser(name, address));
  }
  return 0;
}
