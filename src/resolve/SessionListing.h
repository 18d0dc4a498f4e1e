// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/ServerTables.h"

namespace qm {

// The server's session table in the layout of nbtstat's session listing:
// a header block, then one line per session whose remote computer starts
// at kRemoteColumn. The -s listing shows the computers' names, the -S
// listing their addresses, in the same order, so the name table can pair
// them line by line.
class SessionListing {
 public:
  enum class Remote { Names, Addresses };

  // Counted from 1, in bytes; everything before it is ASCII.
  static constexpr std::size_t kRemoteColumn = 45;

  // Sessions are listed longest printed name first, as they always were;
  // the pairing compares whole names, so the order is only for the eye.
  static std::string Format(const std::vector<ServerTables::Session>& sessions, Remote remote,
                            const std::string& localName);

  // A client name as printed: each control character, and each byte that
  // starts no well-formed UTF-8 character, becomes "?" (a character no
  // computer name may hold), so a name can neither end a line nor move a
  // column.
  static std::string PrintableName(std::string_view name);
  // An address as printed: a dotted IPv4 address (also out of an
  // IPv4-mapped IPv6 one) or a whole IPv6 address in its shortest form,
  // with its zone ("%eth0") when it has one; anything else prints blank,
  // which the pairing reads as "Not known".
  static std::string PrintableAddress(const std::string& address);
  // This computer's name as the Local Name column shows it.
  static std::string LocalName();
};

}  // namespace qm
