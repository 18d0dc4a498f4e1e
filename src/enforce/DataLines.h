// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <string_view>

#include "enforce/PackedTexts.h"

namespace qm {

// The line form of the program's text data files ("KickList.dat",
// "ProgramList.dat").
class DataLines {
 public:
  // Carriage return + line feed, a lone carriage return and a lone line
  // feed each end a line; a last line without an ending counts; a zero byte
  // ends the text. Each line is taken without the blanks at its ends, as
  // the settings take their values (no name or address is spelt with
  // them, and a blank typed by hand would keep an entry from ever
  // matching). Empty lines are kept. The lines cost at most about five
  // times the bytes read (a 4-byte offset and a zero byte per line).
  static PackedTexts Split(std::string_view data);

  // Every line followed by carriage return + line feed; no lines give "".
  // A line break or zero byte inside a value would split it into several
  // lines on reading (and shift every pair after it), so each is written
  // as a blank.
  static std::string Join(const PackedTexts& lines);

  // The value as Join writes it.
  static std::string OneLine(std::string_view value);

  enum class ReadResult { Read, Missing, Failed };
  // Reads a whole data file (never through a link, only a regular file of
  // a sane size). Missing only when nothing exists at path; a file that
  // exists but is refused or cannot be read is Failed, error saying
  // "Cannot open file <path>: <reason>".
  static ReadResult ReadFile(const std::string& path, std::string& data, std::string& error);
  static ReadResult ReadFile(const std::string& path, std::string& data) {
    std::string error;
    return ReadFile(path, data, error);
  }

  // Replaces a list by what a data file holds: a missing file gives an
  // empty list and true; a file that cannot be read an empty list, false
  // and error "Cannot open file <path>: <reason>". The caller then leaves
  // that file as it is (see SaveList).
  template <typename List, typename Parse>
  static bool LoadList(const std::string& path, List& list, Parse parse, std::string& error) {
    std::string data;
    switch (ReadFile(path, data, error)) {
      case ReadResult::Missing:
        list.Clear();
        return true;
      case ReadResult::Failed:
        list.Clear();
        return false;
      case ReadResult::Read:
        break;
    }
    list.Restore(parse(data));
    return true;
  }

  // Replaces a data file as a whole with the lines' text (mode from
  // DataFileMode); on failure error is "Cannot create file <path>:
  // <reason>".
  static bool WriteFile(const std::string& path, const std::string& text, std::string& error);
};

}  // namespace qm
