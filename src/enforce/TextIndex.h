// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/Text.h"

namespace qm {

// Finds ids by a text (exactly, or ignoring the case of a to z), in 4 bytes per slot
// with at most 70% of the slots in use (open addressing). The texts stay
// with their owner: each call passes textOf, which gives an id's text. An
// id is kept once per text, the first one added; lookups hash and compare
// in place, without an upper-cased copy.
class TextIndex {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  enum class Case { kExact, kIgnored };

  explicit TextIndex(Case textCase) : ignoreCase_(textCase == Case::kIgnored) {}

  template <typename TextOf>
  std::uint32_t Find(std::string_view text, const TextOf& textOf) const {
    if (slots_.empty()) return kNone;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = Hash(text) & mask;; s = (s + 1) & mask) {
      const std::uint32_t id = slots_[s];
      if (id == kNone) return kNone;
      if (Same(textOf(id), text)) return id;
    }
  }

  // False when an id with that text is already there (which stays).
  template <typename TextOf>
  bool Add(std::uint32_t id, const TextOf& textOf) {
    const std::string_view text = textOf(id);
    if (Find(text, textOf) != kNone) return false;
    if ((count_ + 1) * 10 > slots_.size() * 7) Grow(textOf);
    Place(id, text);
    ++count_;
    return true;
  }

  bool Empty() const { return count_ == 0; }
  void Clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    count_ = 0;
  }
  std::size_t MemoryBytes() const { return slots_.capacity() * sizeof(std::uint32_t); }

 private:
  std::size_t Hash(std::string_view text) const;
  bool Same(std::string_view a, std::string_view b) const {
    return ignoreCase_ ? SameTextAsciiNoCase(a, b) : a == b;
  }

  void Place(std::uint32_t id, std::string_view text) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t s = Hash(text) & mask;
    while (slots_[s] != kNone) s = (s + 1) & mask;
    slots_[s] = id;
  }

  template <typename TextOf>
  void Grow(const TextOf& textOf) {
    std::vector<std::uint32_t> old(slots_.empty() ? 8 : slots_.size() * 2, kNone);
    old.swap(slots_);
    for (const std::uint32_t id : old) {
      if (id != kNone) Place(id, textOf(id));
    }
  }

  std::vector<std::uint32_t> slots_;  // a power of two of them, or none
  std::size_t count_ = 0;
  bool ignoreCase_;
};

}  // namespace qm
