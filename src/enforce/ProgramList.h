// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/Ports.h"

namespace qm {

// The programs during whose run every user is disconnected, each named by
// the full path of its executable, kept in ascending order of the
// locale's string comparison (which tells case apart).
class ProgramList {
 public:
  const std::vector<std::string>& Entries() const { return entries_; }
  std::size_t Count() const { return entries_.size(); }

  // Some entry equals text over the whole text, ignoring the case of a to z
  // (a hash lookup, whatever the list's length).
  bool ContainsProgram(std::string_view text) const;
  // Grows with every change of the entries.
  std::uint64_t Version() const { return version_; }

  // The "Add program" flow with the program name dialog's text (empty when
  // it was not confirmed): stored upper-cased; a program already listed, in
  // any case, is refused with a message. True when it was added.
  bool AddProgram(MessageBoxes& messages, const std::string& text);
  // Adds text as it is and sorts again.
  void Add(const std::string& text);
  // Out-of-range indices are ignored.
  void Remove(std::size_t index);
  void Clear();

  // What the Options dialog keeps to put back when it is cancelled.
  std::vector<std::string> Snapshot() const { return entries_; }
  // Replaces every entry (sorted on the way in).
  void Restore(std::vector<std::string> entries);

  // Called after every change; the view fetches each entry's icon (the
  // first icon in the named file) again from here.
  void SetOnChanged(std::function<void()> onChanged) { onChanged_ = std::move(onChanged); }

  // The order of the list: strcoll under the program's locale, and byte
  // order between texts the locale ranks equal, so the order never depends
  // on the order of adding.
  static bool Before(const std::string& a, const std::string& b);

 private:
  void Changed();

  std::vector<std::string> entries_;
  std::unordered_set<std::string> upper_;  // the entries upper-cased (a to z)
  std::uint64_t version_ = 0;
  std::function<void()> onChanged_;
};

}  // namespace qm
