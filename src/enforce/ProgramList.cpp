// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/ProgramList.h"

#include <algorithm>
#include <cstring>

#include "core/Text.h"

namespace qm {

bool ProgramList::Before(const std::string& a, const std::string& b) {
  const int c = std::strcoll(a.c_str(), b.c_str());
  if (c != 0) return c < 0;
  return a < b;
}

bool ProgramList::ContainsProgram(std::string_view text) const {
  return upper_.count(AsciiUpper(text)) != 0;
}

bool ProgramList::AddProgram(MessageBoxes& messages, const std::string& text) {
  if (text.empty()) return false;
  if (ContainsProgram(text)) {
    messages.Information("Program already in programlist!");
    return false;
  }
  Add(AsciiUpper(text));
  return true;
}

void ProgramList::Add(const std::string& text) {
  entries_.insert(std::upper_bound(entries_.begin(), entries_.end(), text, Before), text);
  Changed();
}

void ProgramList::Remove(std::size_t index) {
  if (index >= entries_.size()) return;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  Changed();
}

void ProgramList::Clear() {
  entries_.clear();
  Changed();
}

void ProgramList::Restore(std::vector<std::string> entries) {
  entries_ = std::move(entries);
  std::stable_sort(entries_.begin(), entries_.end(), Before);
  Changed();
}

void ProgramList::Changed() {
  upper_.clear();
  for (const std::string& e : entries_) upper_.insert(AsciiUpper(e));
  ++version_;
  if (onChanged_) onChanged_();
}

}  // namespace qm
