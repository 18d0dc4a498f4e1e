// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstddef>

namespace qm {

// A platform string as a call takes it or a result gives it: a wide
// (char16_t) string on the NT family, a single-byte one on 95/98, or none.
// It owns nothing: the characters are a result's, which last until the
// next Init or Exit of that kind, or a PlatformText's, which outlives the
// call that takes it.
class PlatformString {
 public:
  constexpr PlatformString() = default;
  constexpr PlatformString(std::nullptr_t) {}  // NOLINT: null reads as "no string"
  constexpr explicit PlatformString(const char16_t* wide) : wide_(wide) {}
  constexpr explicit PlatformString(const char* narrow) : narrow_(narrow) {}

  // The characters in the encoding asked for; null when there are none or
  // they are in the other encoding.
  const char16_t* Wide() const { return wide_; }
  const char* Narrow() const { return narrow_; }
  bool IsNull() const { return !wide_ && !narrow_; }
  // Null or the empty string.
  bool IsEmpty() const { return wide_ ? *wide_ == 0 : narrow_ ? *narrow_ == '\0' : true; }
  bool operator==(const PlatformString&) const = default;

 private:
  const char16_t* wide_ = nullptr;
  const char* narrow_ = nullptr;
};

}  // namespace qm
