// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/DisconnectListFile.h"

#include "enforce/DataLines.h"

namespace qm {

std::vector<DisconnectListEntry> DisconnectListFile::Parse(std::string_view data) {
  std::vector<std::string> lines = DataLines::Split(data);
  std::vector<DisconnectListEntry> entries;
  entries.reserve(lines.size() / 2);
  for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
    entries.push_back({std::move(lines[i]), std::move(lines[i + 1])});
  }
  return entries;
}

std::string DisconnectListFile::Format(const std::vector<DisconnectListEntry>& entries) {
  std::vector<std::string> lines;
  lines.reserve(entries.size() * 2);
  for (const DisconnectListEntry& e : entries) {
    lines.push_back(e.EntryName);
    lines.push_back(e.EntryAddress);
  }
  return DataLines::Join(lines);
}

bool DisconnectListFile::Load(const std::string& path, DisconnectList& list, std::string& error) {
  return DataLines::LoadList(path, list, &Parse, error);
}

bool DisconnectListFile::Save(const std::string& path, const DisconnectList& list,
                              std::string& error) {
  return DataLines::WriteFile(path, Format(list.Entries()), error);
}

}  // namespace qm
