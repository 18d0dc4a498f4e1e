// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "enforce/ProgramList.h"

namespace qm {

// "ProgramList.dat": one entry per line, in list order, each line ended by
// carriage return + line feed.
class ProgramListFile {
 public:
  static constexpr const char* kFileName = "ProgramList.dat";

  // Every line, an empty one included, is one entry; nothing is checked.
  static PackedTexts Parse(std::string_view data);
  static std::string Format(const PackedTexts& entries);

  // Replaces the list by the file's entries. A missing file gives an empty
  // list and true; a file that is refused (a link, not a regular file, too
  // large) or cannot be read gives an empty list, false and error "Cannot
  // open file <path>: <reason>"; the caller must then not Save over it.
  static bool Load(const std::string& path, ProgramList& list, std::string& error);

  // Replaces the file as a whole (never half written); on failure the old
  // file stays, error is "Cannot create file <path>: <reason>" and false
  // is returned. The new file is the program's own (DataFileMode), even
  // where a link or another owner's file was.
  static bool Save(const std::string& path, const ProgramList& list, std::string& error);
};

}  // namespace qm
