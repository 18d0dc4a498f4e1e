// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "enforce/PackedTexts.h"
#include "enforce/TextIndex.h"

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
// keep the per-user checks of every tick cheap on long lists. The entries
// are kept as the file's lines are, name and address in turn, in one
// buffer: a long list costs about what its file does.
class DisconnectList {
 public:
  // A copy of every entry, for a view that shows them all.
  std::vector<DisconnectListEntry> Entries() const;
  std::size_t Count() const { return lines_.size() / 2; }
  DisconnectListEntry Entry(std::size_t i) const;
  std::string_view Name(std::size_t i) const { return lines_[2 * i]; }
  std::string_view Address(std::size_t i) const { return lines_[2 * i + 1]; }

  // Index of the first entry whose name equals name over the whole text,
  // ignoring case; -1 when there is none.
  int FindByName(std::string_view name) const;

  // Some entry holds exactly this address. The placeholders "Not known
  // yet", "Not known" and "I don't know" say that no address is known, so
  // they never match as addresses.
  bool ContainsAddress(std::string_view address) const;

  // The user is on the list: by its name (ignoring case), whatever address
  // it comes from, or by its address, whatever name it sends. A client
  // chooses its name, so neither alone may take it off the list.
  bool ListsUser(std::string_view name, std::string_view address) const;

  // The first entry of that name that has no real address yet gets the
  // address, which must be a real one; true when an entry changed. An
  // entry with a real address keeps it.
  bool UpdateAddress(std::string_view name, std::string_view address);
  void AddEntry(std::string_view name, std::string_view address);
  // Out-of-range indices are ignored; the others keep their order.
  void Remove(std::size_t index);
  void Clear();

  // The entries as the file's lines: name, address, name, address...
  // What an editing dialog keeps to put back when it is cancelled.
  const PackedTexts& Lines() const { return lines_; }
  PackedTexts Snapshot() const { return lines_; }
  // A last line without its partner is dropped.
  void Restore(PackedTexts lines);

  // Called after every change (the dialog's list view follows it).
  void SetOnChanged(std::function<void()> onChanged) { onChanged_ = std::move(onChanged); }
  // Counts the changes: whoever stores the list knows, without comparing
  // the entries, whether it changed since it was stored.
  std::uint64_t Revision() const { return revision_; }

  static bool IsPlaceholderAddress(std::string_view address);

  // Bytes held by the entries and their indexes.
  std::size_t MemoryBytes() const;

 private:
  void Changed();
  void Rebuild();
  void RebuildAddresses();
  void IndexAddress(std::uint32_t i);

  PackedTexts lines_;
  // The first entry of each name.
  TextIndex byName_{TextIndex::Case::kIgnored};
  // An entry of each real address.
  TextIndex byAddress_{TextIndex::Case::kExact};
  // An entry of each name among the entries without a real address.
  TextIndex namesWithoutAddress_{TextIndex::Case::kIgnored};
  std::function<void()> onChanged_;
  std::uint64_t revision_ = 0;
};

}  // namespace qm
