// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "core/PlatformText.h"

#include <utility>

#include "core/Text.h"

namespace qm {

PlatformText PlatformText::Wide(std::string_view utf8) {
  PlatformText t;
  if (utf8.empty()) return t;
  t.wide_ = Utf8ToUtf16(utf8);
  t.view_ = PlatformString(t.wide_.c_str());
  return t;
}

PlatformText PlatformText::Narrow(std::string_view text) {
  PlatformText t;
  if (text.empty()) return t;
  t.narrow_.assign(text);
  t.view_ = PlatformString(t.narrow_.c_str());
  return t;
}

PlatformText& PlatformText::operator=(PlatformText&& other) noexcept {
  if (this == &other) return *this;
  // A short string's characters live inside the object: the view is made
  // again over this object's own.
  const bool wide = other.view_.Wide() != nullptr;
  const bool narrow = other.view_.Narrow() != nullptr;
  wide_ = std::move(other.wide_);
  narrow_ = std::move(other.narrow_);
  view_ = wide     ? PlatformString(wide_.c_str())
          : narrow ? PlatformString(narrow_.c_str())
                   : PlatformString();
  other.wide_.clear();
  other.narrow_.clear();
  other.view_ = PlatformString();
  return *this;
}

}  // namespace qm
