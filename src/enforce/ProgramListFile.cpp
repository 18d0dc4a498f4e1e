// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/ProgramListFile.h"

#include "enforce/DataLines.h"

namespace qm {

PackedTexts ProgramListFile::Parse(std::string_view data) {
  return DataLines::Split(data);
}

std::string ProgramListFile::Format(const PackedTexts& entries) {
  return DataLines::Join(entries);
}

bool ProgramListFile::Load(const std::string& path, ProgramList& list, std::string& error) {
  return DataLines::LoadList(path, list, &Parse, error);
}

bool ProgramListFile::Save(const std::string& path, const ProgramList& list, std::string& error) {
  return DataLines::WriteFile(path, Format(list.Entries()), error);
}

}  // namespace qm
