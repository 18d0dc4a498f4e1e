// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "core/PlatformString.h"

namespace qm {

// A program string made into a platform string: it owns its characters in
// the platform's encoding, so the string it was made from may go at once.
// Calls take it as a PlatformString, which only a PlatformText that lives
// on gives: a view of a temporary one does not compile, so no call can be
// handed characters already freed. The empty string gives null.
class PlatformText {
 public:
  PlatformText() = default;
  static PlatformText Wide(std::string_view utf8);
  static PlatformText Narrow(std::string_view text);

  PlatformString get() const& { return view_; }
  PlatformString get() const&& = delete;
  operator PlatformString() const& { return view_; }  // NOLINT: a call's argument
  operator PlatformString() const&& = delete;

  PlatformText(PlatformText&& other) noexcept { *this = std::move(other); }
  PlatformText& operator=(PlatformText&& other) noexcept;
  PlatformText(const PlatformText&) = delete;
  PlatformText& operator=(const PlatformText&) = delete;

 private:
  std::u16string wide_;
  std::string narrow_;
  PlatformString view_;  // into wide_ or narrow_, or null
};

}  // namespace qm
