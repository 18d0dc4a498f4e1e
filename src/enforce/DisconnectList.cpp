// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/DisconnectList.h"

#include "core/Resources.h"
#include "core/Text.h"

namespace qm {

bool DisconnectList::IsPlaceholderAddress(std::string_view address) {
  return address == kNotKnownYet || address == kNotKnown || address == kIDontKnow;
}

int DisconnectList::FindByName(std::string_view name) const {
  auto it = byName_.find(AsciiUpper(name));
  if (it == byName_.end() || it->second.empty()) return -1;
  return static_cast<int>(it->second.front());
}

bool DisconnectList::ContainsAddress(std::string_view address) const {
  if (IsPlaceholderAddress(address)) return false;
  return byAddress_.find(address) != byAddress_.end();
}

bool DisconnectList::ListsUser(std::string_view name, std::string_view address) const {
  if (ContainsAddress(address)) return true;
  return !namesWithoutAddress_.empty() &&
         namesWithoutAddress_.find(AsciiUpper(name)) != namesWithoutAddress_.end();
}

void DisconnectList::UpdateAddress(std::string_view name, const std::string& address) {
  const int i = FindByName(name);
  if (i < 0) return;
  DisconnectListEntry& e = entries_[static_cast<std::size_t>(i)];
  IndexAddress(e, -1);
  e.EntryAddress = address;
  IndexAddress(e, +1);
  Changed();
}

void DisconnectList::AddEntry(const std::string& name, const std::string& address) {
  entries_.push_back({name, address});
  byName_[AsciiUpper(name)].push_back(entries_.size() - 1);
  IndexAddress(entries_.back(), +1);
  Changed();
}

void DisconnectList::Remove(std::size_t index) {
  if (index >= entries_.size()) return;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  Rebuild();
  Changed();
}

void DisconnectList::Clear() {
  entries_.clear();
  Rebuild();
  Changed();
}

void DisconnectList::Restore(std::vector<DisconnectListEntry> entries) {
  entries_ = std::move(entries);
  Rebuild();
  Changed();
}

void DisconnectList::Rebuild() {
  byName_.clear();
  byAddress_.clear();
  namesWithoutAddress_.clear();
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    byName_[AsciiUpper(entries_[i].EntryName)].push_back(i);
    IndexAddress(entries_[i], +1);
  }
}

void DisconnectList::IndexAddress(const DisconnectListEntry& e, int delta) {
  if (IsPlaceholderAddress(e.EntryAddress)) {
    Count(namesWithoutAddress_, AsciiUpper(e.EntryName), delta);
  } else {
    Count(byAddress_, e.EntryAddress, delta);
  }
}

void DisconnectList::Count(CountByText& counts, const std::string& text, int delta) {
  auto it = counts.try_emplace(text, 0).first;
  it->second += delta;
  if (it->second <= 0) counts.erase(it);
}

void DisconnectList::Changed() {
  if (onChanged_) onChanged_();
}

}  // namespace qm
