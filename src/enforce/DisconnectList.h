// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qm {

struct DisconnectListEntry {
  std::string EntryName;     // the user's Name as the trees show it
  std::string EntryAddress;  // a dotted address, "I don't know", or any text
  bool operator==(const DisconnectListEntry&) const = default;
};

inline constexpr const char* kIDontKnow = "I don't know";

// The users to turn away while the disconnect status is KickList, in the
// order they were added. Names are found without regard to the case of a
// to z; addresses are compared exactly. Indexes by name and by address
// keep the per-user checks of every tick cheap on long lists.
class DisconnectList {
 public:
  const std::vector<DisconnectListEntry>& Entries() const { return entries_; }
  std::size_t Count() const { return entries_.size(); }
  const DisconnectListEntry& Entry(std::size_t i) const { return entries_[i]; }

  // Index of the first entry whose name equals name over the whole text,
  // ignoring case; -1 when there is none.
  int FindByName(std::string_view name) const;

  // Some entry holds exactly this address. The placeholders "Not known
  // yet", "Not known" and "I don't know" say that no address is known, so
  // they never match as addresses.
  bool ContainsAddress(std::string_view address) const;

  // The user is on the list: by address, or, for an entry without a real
  // address, by name (ignoring case), so a listed computer whose address
  // was never learnt is still turned away and nobody else is.
  bool ListsUser(std::string_view name, std::string_view address) const;

  // The entry FindByName finds gets the address; none found, nothing.
  void UpdateAddress(std::string_view name, const std::string& address);
  void AddEntry(const std::string& name, const std::string& address);
  // Out-of-range indices are ignored; the others keep their order.
  void Remove(std::size_t index);
  void Clear();

  // What an editing dialog keeps to put back when it is cancelled.
  std::vector<DisconnectListEntry> Snapshot() const { return entries_; }
  void Restore(std::vector<DisconnectListEntry> entries);

  // Called after every change (the dialog's list view follows it).
  void SetOnChanged(std::function<void()> onChanged) { onChanged_ = std::move(onChanged); }

  static bool IsPlaceholderAddress(std::string_view address);

 private:
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  using CountByText = std::unordered_map<std::string, int, TextHash, std::equal_to<>>;

  void Changed();
  void Rebuild();
  void IndexAddress(const DisconnectListEntry& e, int delta);
  static void Count(CountByText& counts, const std::string& text, int delta);

  std::vector<DisconnectListEntry> entries_;
  // Upper-cased name -> indices of its entries, ascending.
  std::unordered_map<std::string, std::vector<std::size_t>, TextHash, std::equal_to<>> byName_;
  // Real addresses -> how many entries hold them.
  CountByText byAddress_;
  // Upper-cased names of the entries without a real address -> how many.
  CountByText namesWithoutAddress_;
  std::function<void()> onChanged_;
};

}  // namespace qm
