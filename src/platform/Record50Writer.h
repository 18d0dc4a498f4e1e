// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/ServerBackend.h"

namespace qm {

// Writes 95/98 records and their strings into a caller's buffer; without
// a buffer it only measures what they take. Strings hold at most 255
// bytes each, so two strings fit the 512 bytes and three the 768 bytes
// reserved per entry.
class Record50Writer {
 public:
  Record50Writer(char* buffer, std::size_t size, std::size_t stringsStart)
      : buffer_(buffer), size_(size), next_(stringsStart) {}
  // Room for that many more string bytes (with terminators)?
  bool Fits(std::size_t bytes) const { return next_ + bytes <= size_; }
  std::size_t Used() const { return next_; }
  void PutU8(std::size_t at, std::uint8_t v);
  void PutU32(std::size_t at, std::uint32_t v);
  void PutString(std::size_t at, const std::string& s);
  void PutFixed(std::size_t at, const std::string& s, std::size_t width);
  static std::size_t StringBytes(const std::string& s);

  // A 95/98 enumeration of count records: with size 0 only the counts;
  // otherwise the records are packed, and a buffer too small tells the
  // size needed. pack(writer, i, at) writes record i at offset at, false
  // when its strings do not fit.
  template <typename Packer>
  static NetStatus Pack(std::size_t count, std::uint16_t recordSize, char* buffer,
                        std::uint32_t size, std::uint16_t& read, std::uint16_t& total,
                        std::uint32_t& needed, Packer pack) {
    total = static_cast<std::uint16_t>(count > 0xFFFF ? 0xFFFF : count);
    read = 0;
    needed = 0;
    if (size == 0 || !buffer) return total == 0 ? NERR_Success : NERR_BufTooSmall;
    const std::size_t fixed = static_cast<std::size_t>(recordSize) * total;
    auto tooSmall = [&](NetStatus status) {
      Record50Writer measure(nullptr, SIZE_MAX, fixed);
      for (std::size_t i = 0; i < total; ++i) pack(measure, i, i * recordSize);
      needed = static_cast<std::uint32_t>(std::min<std::size_t>(measure.Used(), UINT32_MAX));
      return status;
    };
    std::memset(buffer, 0, size);
    // Not even the records fit: the call reports how much it needs.
    if (fixed > size) return tooSmall(NERR_BufTooSmall);
    Record50Writer w(buffer, size, fixed);
    for (std::size_t i = 0; i < total; ++i) {
      if (!pack(w, i, i * recordSize)) return tooSmall(ERROR_MORE_DATA);
      ++read;
    }
    return NERR_Success;
  }

 private:
  char* buffer_;
  std::size_t size_;
  std::size_t next_;
};

}  // namespace qm
