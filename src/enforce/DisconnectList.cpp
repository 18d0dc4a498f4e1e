#include "enforce/DisconnectList.h"

#include <algorithm>

#include "core/Resources.h"
#include "core/Text.h"

namespace qm {

bool DisconnectList::IsPlaceholderAddress(std::string_view address) {
  return address == kNotKnownYet || address == kNotKnown || address == kIDontKnow;
}

int DisconnectList::FindByName(std::string_view name) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (SameTextAsciiNoCase(entries_[i].EntryName, name)) return static_cast<int>(i);
  }
  return -1;
}

bool DisconnectList::ContainsAddress(std::string_view address) const {
  if (IsPlaceholderAddress(address)) return false;
  return std::any_of(entries_.begin(), entries_.end(),
                     [&](const DisconnectListEntry& e) { return e.EntryAddress == address; });
}

bool DisconnectList::ListsUser(std::string_view name, std::string_view address) const {
  if (ContainsAddress(address)) return true;
  return std::any_of(entries_.begin(), entries_.end(), [&](const DisconnectListEntry& e) {
    return IsPlaceholderAddress(e.EntryAddress) && SameTextAsciiNoCase(e.EntryName, name);
  });
}

void DisconnectList::UpdateAddress(std::string_view name, const std::string& address) {
  const int i = FindByName(name);
  if (i < 0) return;
  entries_[static_cast<std::size_t>(i)].EntryAddress = address;
  Changed();
}

void DisconnectList::AddEntry(const std::string& name, const std::string& address) {
  entries_.push_back({name, address});
  Changed();
}

void DisconnectList::Remove(std::size_t index) {
  if (index >= entries_.size()) return;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  Changed();
}

void DisconnectList::Clear() {
  entries_.clear();
  Changed();
}

void DisconnectList::Restore(std::vector<DisconnectListEntry> entries) {
  entries_ = std::move(entries);
  Changed();
}

void DisconnectList::Changed() {
  if (onChanged_) onChanged_();
}

}  // namespace qm
