// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The nbtstat tool's listings as the name table reads them, over any bytes:
// whatever pairs gives trimmed names and addresses or blanks, and a table
// printed again in the tool's layout reads back the same.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "FuzzCheck.h"
#include "resolve/NameTable.h"
#include "resolve/SessionListing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string_view names = text, addresses = text;
  qm::NameTable::SplitListings(text, names, addresses);
  qm::ListingCapture::Table table;
  if (!qm::NameTable::ParseListings(names, addresses, table)) return 0;

  std::vector<qm::ServerTables::Session> sessions;
  for (const auto& [name, address] : table) {
    Check(!name.empty());
    Check(static_cast<unsigned char>(name.front()) > 0x20);
    Check(static_cast<unsigned char>(name.back()) > 0x20);
    Check(address.empty() || qm::NameTable::IsAddress(address));
    if (qm::SessionListing::PrintableName(name) == name &&
        qm::SessionListing::PrintableAddress(address) == address) {
      sessions.push_back({name, "u", 0, address});
    }
  }
  using Remote = qm::SessionListing::Remote;
  qm::ListingCapture::Table again;
  Check(qm::NameTable::ParseListings(qm::SessionListing::Format(sessions, Remote::Names, "S"),
                                     qm::SessionListing::Format(sessions, Remote::Addresses, "S"),
                                     again));
  Check(again.size() == sessions.size());
  for (const auto& s : sessions) Check(again.at(s.client) == s.address);
  return 0;
}
