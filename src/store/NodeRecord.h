// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/Resources.h"

namespace qm {

// One node of the Former tree as "Tree.dat" holds it: 392 bytes, numbers
// little-endian, other programs read the file, so the layout is fixed:
//
//   offset width field
//        0     8 EnterTime    IEEE 754 binary64 days since 1899-12-30
//        8     8 ExitTime     same; 0 = no end time
//       16   256 Name         length byte (0..255), then the bytes
//      272    31 UserName     length byte (0..30), then the bytes
//      303    17 IPAddress    length byte (0..16), then the bytes; a longer
//                             address: its first 13 bytes and "..."
//      320    65 HostName     length byte (0..64), then the bytes
//      385     1 DiskShare    0 false, anything else true
//      386     4 level        signed 32-bit, unaligned: 0 user, 1 share, 2 file
//      390     1 EnterStatus  ConnectionStatus code
//      391     1 ExitStatus   ConnectionStatus code
//
// Bytes after a text's last byte within its field mean nothing; we write
// zeros there. The three user texts are empty in share and file records.
struct NodeRecord {
  static constexpr std::size_t kSize = 392;
  static constexpr std::size_t kMaxName = 255;
  static constexpr std::size_t kMaxUserName = 30;
  static constexpr std::size_t kMaxIPAddress = 16;
  static constexpr std::size_t kMaxHostName = 64;

  TDateTime EnterTime = 0;
  TDateTime ExitTime = 0;
  std::string Name;
  std::string UserName;
  std::string IPAddress;
  std::string HostName;
  bool DiskShare = true;
  std::int32_t Level = 0;
  std::uint8_t EnterStatus = stLoggedOn;
  std::uint8_t ExitStatus = stLoggedOff;

  // The 392 bytes at out. Texts longer than their fields are cut to the
  // field at a UTF-8 character boundary; an address is marked as cut.
  void Encode(unsigned char* out) const;
  // From 392 bytes. A length byte larger than its field counts as the
  // field's maximum, so a damaged record never reads past its field.
  static NodeRecord Decode(const unsigned char* in);
  // Only the level of the 392 bytes at in.
  static std::int32_t DecodeLevel(const unsigned char* in);
};

// The level a record is stored at: its kind (0 user, 1 share, 2 file),
// wherever it hangs in the tree, so that a record keeps its kind from one
// run to the next.
std::int32_t LevelOfRecord(const TTreeNodeCustom& record);

// A record as stored at a given level: user texts only from a TUser.
NodeRecord ToNodeRecord(const TTreeNodeCustom& record, std::int32_t level);

// A record made from a stored one: a TUser at level 0, a TShare at level 1,
// a TFile at any other level. LastActivity is 0 and a user has no lookup.
std::unique_ptr<TTreeNodeCustom> CreateFromNodeRecord(const NodeRecord& stored);

}  // namespace qm
