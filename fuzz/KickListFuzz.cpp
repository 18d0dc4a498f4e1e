// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The "KickList.dat" reader over any bytes: every entry read writes back and
// reads again the same, and the list built from it finds each entry by its
// name and by its address.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "FuzzCheck.h"
#include "core/Text.h"
#include "enforce/DataLines.h"
#include "enforce/DisconnectListFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto entries = qm::DisconnectListFile::Parse(text);
  Check(entries.size() == qm::DataLines::Split(text).size() / 2);
  Check(qm::DisconnectListFile::Parse(qm::DisconnectListFile::Format(entries)) == entries);

  qm::DisconnectList list;
  list.Restore(entries);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& e = entries[i];
    const int found = list.FindByName(e.EntryName);
    Check(found >= 0 && static_cast<std::size_t>(found) <= i);
    Check(qm::SameTextAsciiNoCase(list.Entry(static_cast<std::size_t>(found)).EntryName,
                                  e.EntryName));
    const bool placeholder = qm::DisconnectList::IsPlaceholderAddress(e.EntryAddress);
    Check(list.ContainsAddress(e.EntryAddress) == !placeholder);
    Check(list.ListsUser(e.EntryName, e.EntryAddress));
  }
  return 0;
}
