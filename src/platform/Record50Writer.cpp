// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/Record50Writer.h"

#include "core/Text.h"

namespace qm {

namespace {
constexpr std::size_t kMax95String = 255;
}  // namespace

void Record50Writer::PutU8(std::size_t at, std::uint8_t v) {
  if (buffer_) buffer_[at] = static_cast<char>(v);
}

void Record50Writer::PutU32(std::size_t at, std::uint32_t v) {
  if (buffer_) std::memcpy(buffer_ + at, &v, sizeof v);
}

void Record50Writer::PutString(std::size_t at, const std::string& s) {
  const std::string_view cut = CutUtf8(s, kMax95String);
  if (buffer_) {
    std::memcpy(buffer_ + next_, cut.data(), cut.size());
    buffer_[next_ + cut.size()] = '\0';
  }
  PutU32(at, static_cast<std::uint32_t>(next_));
  next_ += cut.size() + 1;
}

void Record50Writer::PutFixed(std::size_t at, const std::string& s, std::size_t width) {
  if (!buffer_) return;
  const std::string_view cut = CutUtf8(s, width - 1);
  std::memcpy(buffer_ + at, cut.data(), cut.size());
  buffer_[at + cut.size()] = '\0';
}

std::size_t Record50Writer::StringBytes(const std::string& s) {
  return CutUtf8(s, kMax95String).size() + 1;
}

}  // namespace qm
