// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <vector>

#include "store/IniFile.h"

namespace qm {

inline constexpr const char* kSettingsFileName = "Quillmoor98.ini";

// "$QUILLMOOR98_SYSCONFDIR/Quillmoor98.ini", /etc when the variable is unset
// or empty: one file for the whole computer, shared by every copy of the
// program.
std::string SettingsFilePath();

// The settings file with its typed reads and writes. The file is read once,
// when the object is made; writes change the object at once and reach the
// disk at Flush, all together, through a temporary file renamed over the
// old one, so a failed flush leaves the old file whole. The file is never
// read through a link, nor when it is no regular file or absurdly large;
// such a file gives every default and is never replaced. The file it
// writes is readable by its owner only (it holds the administrator
// password), or by the group of a set-group-ID folder too (the installed
// program's shared settings folder). The destructor writes nothing:
// whoever releases the object flushes it first and shows a failure.
class SettingsFile {
 public:
  explicit SettingsFile(std::string path);

  const std::string& Path() const { return path_; }
  // Why the file could not be read when the object was made ("Cannot open
  // file <path>: <reason>"); "" when it was read or is missing.
  const std::string& LoadError() const { return loadError_; }

  // A missing section or key gives the default.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // Signed decimal; a text longer than 2 characters beginning "0x" or "0X",
  // or a text beginning "$", is hexadecimal (up to 32 bits, taken as a
  // signed 32-bit value). Empty, invalid or out of range: the default.
  int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
  // The key is in the file (with any value).
  bool Has(const std::string& section, const std::string& key) const {
    return ini_.Read(section, key).has_value();
  }
  // ReadInteger with the default 1 or 0; any non-zero number is true.
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;

  // A value the file already holds, whole, is no write; a value that was
  // read cut is written back as read.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int value);
  void WriteBool(const std::string& section, const std::string& key, bool value);

  // Writes made since the last successful flush.
  bool HasUnsavedWrites() const { return !pending_.empty(); }

  // Reads the file again (it changed on the disk): the reads give what it
  // holds now, with the writes not yet flushed on top. False, and the
  // values kept as they were, when it cannot be read (LoadError says why).
  bool Reload();

  // Puts the writes made since the last flush into the file as it is on the
  // disk now, keeping every other line of it. Nothing to write: true, and
  // the file is not touched. On failure Error() is "Unable to write to
  // Quillmoor98.ini" (the text to show) and ErrorDetail() says why; the
  // writes stay pending and the file on the disk is unchanged.
  bool Flush();
  const std::string& Error() const { return error_; }
  const std::string& ErrorDetail() const { return errorDetail_; }

  // Parses a value the way ReadInteger does; false when it is no integer.
  static bool ParseInteger(const std::string& text, int& value);

 private:
  struct Write {
    std::string section, key, value;
  };

  // The file as it is on the disk now with the pending writes on top;
  // false when it cannot be read.
  bool FileWithWrites(IniFile& ini, std::string& error) const;

  std::string path_;
  IniFile ini_;
  std::vector<Write> pending_;
  std::string error_;
  std::string errorDetail_;
  std::string loadError_;
};

}  // namespace qm
