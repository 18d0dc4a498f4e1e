// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The "ProgramList.dat" reader over any bytes: every line is one entry, the
// sorted list writes back and reads again the same, the watch's test finds
// every entry in upper case, and neither costs more than a few times the
// bytes read.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "FuzzCheck.h"
#include "core/Text.h"
#include "enforce/ProgramListFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto lines = qm::ProgramListFile::Parse(text);
  Check(lines.MemoryBytes() <= 5 * size + 64);
  Check(qm::ProgramListFile::Parse(qm::ProgramListFile::Format(lines)) == lines);

  qm::ProgramList list;
  list.Restore(lines);
  Check(list.Count() == lines.size());
  Check(list.MemoryBytes() <= 8 * size + 1024);
  for (std::size_t i = 1; i < list.Count(); ++i) Check(!list.Before(i, i - 1));
  for (const auto line : lines) Check(list.ContainsProgram(qm::AsciiUpper(line)));
  Check(qm::ProgramListFile::Parse(qm::ProgramListFile::Format(list.Entries())) == list.Entries());
  return 0;
}
