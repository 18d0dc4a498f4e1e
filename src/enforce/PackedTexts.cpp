// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/PackedTexts.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace qm {

PackedTexts::PackedTexts(std::initializer_list<std::string_view> texts) {
  for (std::string_view t : texts) PushBack(t);
}

PackedTexts::PackedTexts(const std::vector<std::string>& texts) {
  std::size_t bytes = 0;
  for (const std::string& t : texts) bytes += t.size();
  Reserve(texts.size(), bytes);
  for (const std::string& t : texts) PushBack(t);
}

void PackedTexts::BlankZeros(std::size_t from, std::size_t count) {
  for (std::size_t k = from; k < from + count; ++k) {
    if (text_[k] == '\0') text_[k] = ' ';
  }
}

void PackedTexts::CheckRoom(std::size_t more) const {
  if (text_.size() + more + 1 > std::numeric_limits<std::uint32_t>::max()) {
    throw std::length_error("texts above 4 GiB");
  }
}

void PackedTexts::Reserve(std::size_t count, std::size_t textBytes) {
  text_.reserve(textBytes + count);
  ends_.reserve(count);
}

void PackedTexts::PushBack(std::string_view text) {
  CheckRoom(text.size());
  const std::size_t start = text_.size();
  text_.append(text);
  BlankZeros(start, text.size());
  ends_.push_back(static_cast<std::uint32_t>(text_.size()));
  text_.push_back('\0');
}

void PackedTexts::Insert(std::size_t i, std::string_view text) {
  if (i >= size()) return PushBack(text);
  CheckRoom(text.size());
  const std::size_t start = Start(i);
  text_.insert(start, text.size() + 1, '\0');
  text_.replace(start, text.size(), text);
  BlankZeros(start, text.size());
  const auto grown = static_cast<std::uint32_t>(text.size() + 1);
  for (std::size_t k = i; k < ends_.size(); ++k) ends_[k] += grown;
  ends_.insert(ends_.begin() + static_cast<std::ptrdiff_t>(i),
               static_cast<std::uint32_t>(start + text.size()));
}

void PackedTexts::Replace(std::size_t i, std::string_view text) {
  const std::size_t start = Start(i);
  const std::size_t old = ends_[i] - start;
  if (text.size() > old) CheckRoom(text.size() - old);
  text_.replace(start, old, text);
  BlankZeros(start, text.size());
  const std::int64_t delta =
      static_cast<std::int64_t>(text.size()) - static_cast<std::int64_t>(old);
  for (std::size_t k = i; k < ends_.size(); ++k) {
    ends_[k] = static_cast<std::uint32_t>(ends_[k] + delta);
  }
}

void PackedTexts::Erase(std::size_t i, std::size_t count) {
  if (i >= size() || count == 0) return;
  const std::size_t last = std::min(size(), i + count);
  const std::size_t start = Start(i);
  const std::size_t removed = ends_[last - 1] + 1 - start;
  text_.erase(start, removed);
  ends_.erase(ends_.begin() + static_cast<std::ptrdiff_t>(i),
              ends_.begin() + static_cast<std::ptrdiff_t>(last));
  for (std::size_t k = i; k < ends_.size(); ++k) {
    ends_[k] -= static_cast<std::uint32_t>(removed);
  }
}

void PackedTexts::Clear() {
  text_.clear();
  ends_.clear();
}

PackedTexts PackedTexts::Reordered(const std::vector<std::uint32_t>& order) const {
  PackedTexts out;
  out.text_.reserve(text_.size());
  out.ends_.reserve(order.size());
  for (const std::uint32_t i : order) out.PushBack((*this)[i]);
  return out;
}

}  // namespace qm
