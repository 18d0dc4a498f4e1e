// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/ProgramList.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "core/Text.h"

namespace qm {

bool ProgramList::Before(const char* a, std::string_view aText, const char* b,
                         std::string_view bText) {
  const int c = std::strcoll(a, b);
  if (c != 0) return c < 0;
  return aText < bText;
}

bool ProgramList::Before(std::size_t i, std::size_t k) const {
  return Before(entries_.CString(i), entries_[i], entries_.CString(k), entries_[k]);
}

bool ProgramList::ContainsProgram(std::string_view text) const {
  return index_.Find(text, [this](std::uint32_t k) { return entries_[k]; }) != TextIndex::kNone;
}

bool ProgramList::AddProgram(MessageBoxes& messages, const std::string& typed) {
  const std::string text(TrimmedBlanks(typed));
  if (text.empty()) return false;
  if (ContainsProgram(text)) {
    messages.Information("Program already in programlist!");
    return false;
  }
  Add(AsciiUpper(text));
  return true;
}

void ProgramList::Add(std::string_view text) {
  std::string own(text);
  std::replace(own.begin(), own.end(), '\0', ' ');
  // Each entry's view ends at its zero byte, so it is a C string too.
  const auto after = std::upper_bound(
      entries_.begin(), entries_.end(), own,
      [](const std::string& t, std::string_view e) { return Before(t.c_str(), t, e.data(), e); });
  entries_.Insert(static_cast<std::size_t>(after - entries_.begin()), own);
  Changed();
}

void ProgramList::Remove(std::size_t index) {
  if (index >= entries_.size()) return;
  entries_.Erase(index);
  Changed();
}

void ProgramList::Clear() {
  entries_.Clear();
  Changed();
}

void ProgramList::Restore(PackedTexts entries) {
  std::vector<std::uint32_t> order(entries.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&entries](std::uint32_t i, std::uint32_t k) {
    return Before(entries.CString(i), entries[i], entries.CString(k), entries[k]);
  });
  entries_ =
      std::is_sorted(order.begin(), order.end()) ? std::move(entries) : entries.Reordered(order);
  Changed();
}

void ProgramList::Changed() {
  index_.Clear();
  for (std::uint32_t i = 0; i < entries_.size(); ++i) {
    index_.Add(i, [this](std::uint32_t k) { return entries_[k]; });
  }
  ++version_;
  if (onChanged_) onChanged_();
}

}  // namespace qm
