// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// A sequence of texts kept in one buffer, each followed by a zero byte (so
// it can be handed to C functions such as strcoll), with 4 bytes of offset
// per text. A data file's lines cost about what the file does, where a
// std::string per line costs 32 bytes and an allocation however short the
// line. A zero byte in a text is kept as a blank, as the data files write
// it; the buffer stays below 4 GiB.
class PackedTexts {
 public:
  class Iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    Iterator() = default;
    Iterator(const PackedTexts* texts, std::size_t i) : texts_(texts), i_(i) {}
    std::string_view operator*() const { return (*texts_)[i_]; }
    std::string_view operator[](difference_type n) const { return *(*this + n); }
    Iterator& operator++() { return *this += 1; }
    Iterator operator++(int) {
      Iterator old = *this;
      ++*this;
      return old;
    }
    Iterator& operator--() { return *this -= 1; }
    Iterator operator--(int) {
      Iterator old = *this;
      --*this;
      return old;
    }
    Iterator& operator+=(difference_type n) {
      i_ += static_cast<std::size_t>(n);
      return *this;
    }
    Iterator& operator-=(difference_type n) {
      i_ -= static_cast<std::size_t>(n);
      return *this;
    }
    friend Iterator operator+(Iterator it, difference_type n) { return it += n; }
    friend Iterator operator+(difference_type n, Iterator it) { return it += n; }
    friend Iterator operator-(Iterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(const Iterator& a, const Iterator& b) {
      return static_cast<difference_type>(a.i_) - static_cast<difference_type>(b.i_);
    }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.i_ == b.i_; }
    friend auto operator<=>(const Iterator& a, const Iterator& b) { return a.i_ <=> b.i_; }

   private:
    const PackedTexts* texts_ = nullptr;
    std::size_t i_ = 0;
  };

  using value_type = std::string_view;
  using iterator = Iterator;
  using const_iterator = Iterator;

  PackedTexts() = default;
  PackedTexts(std::initializer_list<std::string_view> texts);
  explicit PackedTexts(const std::vector<std::string>& texts);

  std::size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  Iterator begin() const { return {this, 0}; }
  Iterator end() const { return {this, size()}; }
  std::string_view operator[](std::size_t i) const {
    const std::size_t start = Start(i);
    return {text_.data() + start, ends_[i] - start};
  }
  // The text, followed by its zero byte.
  const char* CString(std::size_t i) const { return text_.data() + Start(i); }

  // What the texts will hold, so that filling them allocates once.
  void Reserve(std::size_t count, std::size_t textBytes);
  // Beyond 4 GiB in all, std::length_error.
  void PushBack(std::string_view text);
  void Insert(std::size_t i, std::string_view text);
  void Replace(std::size_t i, std::string_view text);
  // Removes count texts from i on (fewer at the end).
  void Erase(std::size_t i, std::size_t count = 1);
  void Clear();
  // Texts in the order of order's indices (each index once).
  PackedTexts Reordered(const std::vector<std::uint32_t>& order) const;

  // Bytes held, reserved spare room included.
  std::size_t MemoryBytes() const {
    return text_.capacity() + ends_.capacity() * sizeof(std::uint32_t);
  }

  bool operator==(const PackedTexts& other) const {
    return ends_ == other.ends_ && text_ == other.text_;
  }

 private:
  std::size_t Start(std::size_t i) const { return i == 0 ? 0 : ends_[i - 1] + 1; }
  void BlankZeros(std::size_t from, std::size_t count);
  void CheckRoom(std::size_t more) const;

  std::string text_;
  // Offset of each text's zero byte in text_.
  std::vector<std::uint32_t> ends_;
};

}  // namespace qm
