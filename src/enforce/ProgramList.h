// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Ports.h"
#include "enforce/PackedTexts.h"
#include "enforce/TextIndex.h"

namespace qm {

// The programs during whose run every user is disconnected, each named by
// the full path of its executable, kept in ascending order of the
// locale's string comparison (which tells case apart), in one buffer: a
// long list costs about what its file does.
class ProgramList {
 public:
  const PackedTexts& Entries() const { return entries_; }
  std::size_t Count() const { return entries_.size(); }

  // Some entry equals text over the whole text, ignoring the case of a to z
  // (a hash lookup, whatever the list's length).
  bool ContainsProgram(std::string_view text) const;
  // Grows with every change of the entries.
  std::uint64_t Version() const { return version_; }

  // The "Add program" flow with the program name dialog's text (empty when
  // it was not confirmed): stored upper-cased without the blanks at its
  // ends; a program already listed, in any case, is refused with a
  // message. True when it was added.
  bool AddProgram(MessageBoxes& messages, const std::string& text);
  // Adds text as it is, in its place in the order.
  void Add(std::string_view text);
  // Out-of-range indices are ignored.
  void Remove(std::size_t index);
  void Clear();

  // What the Options dialog keeps to put back when it is cancelled.
  PackedTexts Snapshot() const { return entries_; }
  // Replaces every entry (sorted on the way in).
  void Restore(PackedTexts entries);

  // Called after every change; the view fetches each entry's icon (the
  // first icon in the named file) again from here.
  void SetOnChanged(std::function<void()> onChanged) { onChanged_ = std::move(onChanged); }

  // The order of the list: strcoll under the program's locale, and byte
  // order between texts the locale ranks equal, so the order never depends
  // on the order of adding.
  static bool Before(const char* a, std::string_view aText, const char* b, std::string_view bText);
  // Entry i goes before entry k.
  bool Before(std::size_t i, std::size_t k) const;

  // Bytes held by the entries and their index.
  std::size_t MemoryBytes() const { return entries_.MemoryBytes() + index_.MemoryBytes(); }

 private:
  void Changed();

  PackedTexts entries_;
  // An entry of each text, ignoring case.
  TextIndex index_{TextIndex::Case::kIgnored};
  std::uint64_t version_ = 0;
  std::function<void()> onChanged_;
};

}  // namespace qm
