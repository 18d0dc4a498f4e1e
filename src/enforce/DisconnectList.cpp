// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/DisconnectList.h"

#include "core/Resources.h"
#include "core/Text.h"

namespace qm {

bool DisconnectList::IsPlaceholderAddress(std::string_view address) {
  return address == kNotKnownYet || address == kNotKnown || address == kIDontKnow;
}

std::vector<DisconnectListEntry> DisconnectList::Entries() const {
  std::vector<DisconnectListEntry> entries;
  entries.reserve(Count());
  for (std::size_t i = 0; i < Count(); ++i) entries.push_back(Entry(i));
  return entries;
}

DisconnectListEntry DisconnectList::Entry(std::size_t i) const {
  return {std::string(Name(i)), std::string(Address(i))};
}

int DisconnectList::FindByName(std::string_view name) const {
  const std::uint32_t i = byName_.Find(name, [this](std::uint32_t k) { return Name(k); });
  return i == TextIndex::kNone ? -1 : static_cast<int>(i);
}

bool DisconnectList::ContainsAddress(std::string_view address) const {
  if (IsPlaceholderAddress(address)) return false;
  return byAddress_.Find(address, [this](std::uint32_t k) { return Address(k); }) !=
         TextIndex::kNone;
}

bool DisconnectList::ListsUser(std::string_view name, std::string_view address) const {
  return ContainsAddress(address) || FindByName(name) >= 0;
}

bool DisconnectList::UpdateAddress(std::string_view name, std::string_view address) {
  // Only a placeholder is filled in. Were a real address replaced by the
  // one a client of that name comes from, any client could move a ban off
  // its own address by sending a listed name.
  if (IsPlaceholderAddress(address) || namesWithoutAddress_.Empty()) return false;
  const std::uint32_t i =
      namesWithoutAddress_.Find(name, [this](std::uint32_t k) { return Name(k); });
  if (i == TextIndex::kNone) return false;
  lines_.Replace(2 * static_cast<std::size_t>(i) + 1, address);
  RebuildAddresses();
  Changed();
  return true;
}

void DisconnectList::AddEntry(std::string_view name, std::string_view address) {
  lines_.PushBack(name);
  lines_.PushBack(address);
  const auto i = static_cast<std::uint32_t>(Count() - 1);
  byName_.Add(i, [this](std::uint32_t k) { return Name(k); });
  IndexAddress(i);
  Changed();
}

void DisconnectList::Remove(std::size_t index) {
  if (index >= Count()) return;
  lines_.Erase(2 * index, 2);
  Rebuild();
  Changed();
}

void DisconnectList::Clear() {
  lines_.Clear();
  Rebuild();
  Changed();
}

void DisconnectList::Restore(PackedTexts lines) {
  lines_ = std::move(lines);
  if (lines_.size() % 2 != 0) lines_.Erase(lines_.size() - 1);
  Rebuild();
  Changed();
}

void DisconnectList::Rebuild() {
  byName_.Clear();
  for (std::uint32_t i = 0; i < Count(); ++i) {
    byName_.Add(i, [this](std::uint32_t k) { return Name(k); });
  }
  RebuildAddresses();
}

void DisconnectList::RebuildAddresses() {
  byAddress_.Clear();
  namesWithoutAddress_.Clear();
  for (std::uint32_t i = 0; i < Count(); ++i) IndexAddress(i);
}

void DisconnectList::IndexAddress(std::uint32_t i) {
  if (IsPlaceholderAddress(Address(i))) {
    namesWithoutAddress_.Add(i, [this](std::uint32_t k) { return Name(k); });
  } else {
    byAddress_.Add(i, [this](std::uint32_t k) { return Address(k); });
  }
}

std::size_t DisconnectList::MemoryBytes() const {
  return lines_.MemoryBytes() + byName_.MemoryBytes() + byAddress_.MemoryBytes() +
         namesWithoutAddress_.MemoryBytes();
}

void DisconnectList::Changed() {
  ++revision_;
  if (onChanged_) onChanged_();
}

}  // namespace qm
