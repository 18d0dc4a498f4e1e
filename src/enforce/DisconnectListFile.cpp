// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/DisconnectListFile.h"

#include <map>

#include "core/Text.h"
#include "enforce/DataLines.h"

namespace qm {

namespace {
// A name's entries on one side: their addresses in list order (a file may
// hold a name more than once).
using Addresses = std::vector<std::string_view>;

struct Sides {
  Addresses base, ours, disk;
  bool emitted = false;
};

void Collect(const PackedTexts& lines, Addresses Sides::*side,
             std::map<std::string, Sides>& names) {
  for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
    (names[AsciiUpper(lines[i])].*side).push_back(lines[i + 1]);
  }
}

std::string Described(std::string_view name, const Sides& s) {
  const std::string shown(name);
  if (s.ours.empty()) return "the removal of " + shown;
  std::string addresses;
  for (std::string_view a : s.ours) addresses += (addresses.empty() ? "" : ", ") + std::string(a);
  return (s.base.empty() ? "the addition of " : "the new address of ") + shown + " " + addresses;
}
}  // namespace

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

PackedTexts DisconnectListFile::Merge(const PackedTexts& base, const PackedTexts& ours,
                                      const PackedTexts& disk, std::vector<std::string>& dropped) {
  std::map<std::string, Sides> names;
  Collect(base, &Sides::base, names);
  Collect(ours, &Sides::ours, names);
  Collect(disk, &Sides::disk, names);
  // Which side each name takes: ours only where the file left it as it was.
  auto oursWins = [](const Sides& s) { return s.ours != s.base && s.disk == s.base; };
  PackedTexts merged;
  auto emit = [&](std::string_view name, const Addresses& addresses) {
    for (std::string_view a : addresses) {
      merged.PushBack(name);
      merged.PushBack(a);
    }
  };
  for (std::size_t i = 0; i + 1 < disk.size(); i += 2) {
    Sides& s = names[AsciiUpper(disk[i])];
    if (!oursWins(s)) {
      merged.PushBack(disk[i]);
      merged.PushBack(disk[i + 1]);
    } else if (!s.emitted) {
      emit(disk[i], s.ours);
    }
    s.emitted = true;
  }
  for (std::size_t i = 0; i + 1 < ours.size(); i += 2) {
    Sides& s = names[AsciiUpper(ours[i])];
    if (s.emitted || !oursWins(s)) continue;
    emit(ours[i], {ours[i + 1]});
  }
  for (const auto& [name, s] : names) {
    if (s.ours != s.base && s.disk != s.base && s.disk != s.ours) {
      dropped.push_back(Described(name, s));
    }
  }
  return merged;
}

bool DisconnectListFile::Save(const std::string& path, const DisconnectList& list,
                              std::string& error) {
  return DataLines::WriteFile(path, Format(list.Lines()), error);
}

}  // namespace qm
