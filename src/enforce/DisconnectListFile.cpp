// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/DisconnectListFile.h"

#include "enforce/DataLines.h"

namespace qm {

PackedTexts DisconnectListFile::Parse(std::string_view data) {
  PackedTexts lines = DataLines::Split(data);
  if (lines.size() % 2 != 0) lines.Erase(lines.size() - 1);
  return lines;
}

std::string DisconnectListFile::Format(const PackedTexts& lines) {
  return DataLines::Join(lines);
}

bool DisconnectListFile::Load(const std::string& path, DisconnectList& list, std::string& error) {
  return DataLines::LoadList(path, list, &Parse, error);
}

bool DisconnectListFile::Save(const std::string& path, const DisconnectList& list,
                              std::string& error) {
  return DataLines::WriteFile(path, Format(list.Lines()), error);
}

}  // namespace qm
