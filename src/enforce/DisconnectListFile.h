// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "enforce/DisconnectList.h"

namespace qm {

// "KickList.dat": two lines per entry, the name and then the address, in
// list order, each line ended by carriage return + line feed.
class DisconnectListFile {
 public:
  static constexpr const char* kFileName = "KickList.dat";

  // Lines are taken in pairs from the first; a last line without a partner
  // is dropped. Nothing is upper-cased or checked. The result is the
  // entries' lines: name, address, name, address...
  static PackedTexts Parse(std::string_view data);
  static std::string Format(const PackedTexts& lines);

  // Replaces the list by the file's entries. A missing file gives an empty
  // list and true; a file that is refused (a link, not a regular file, too
  // large) or cannot be read gives an empty list, false and error "Cannot
  // open file <path>: <reason>"; the caller must then not Save over it.
  static bool Load(const std::string& path, DisconnectList& list, std::string& error);

  // Replaces the file as a whole (never half written); on failure the old
  // file stays, error is "Cannot create file <path>: <reason>" and false
  // is returned. The new file is the program's own (DataFileMode), even
  // where a link or another owner's file was.
  static bool Save(const std::string& path, const DisconnectList& list, std::string& error);

  // The list when the program and the file both changed it since base (the
  // entries as the program last read or wrote the file): each name
  // (ignoring case) takes the side that changed its entries, the file's
  // where both did. The file's order is kept; names only the program added
  // follow in its order. dropped gets, per name where the file won over a
  // change of the program's, that change ("the addition of PC7 10.0.0.7").
  static PackedTexts Merge(const PackedTexts& base, const PackedTexts& ours,
                           const PackedTexts& disk, std::vector<std::string>& dropped);
};

}  // namespace qm
