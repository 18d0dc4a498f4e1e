// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/ControlEvent.h"

#include "core/Text.h"

namespace qm {

std::string ControlEvent::Text() const {
  std::string text = "uid " + std::to_string(uid) + ": " + action + " " + EscapedText(target);
  if (outcome.empty()) return text;
  if (!address.empty()) text += " at " + EscapedText(address);
  text += ": " + outcome;
  if (!reason.empty()) text += ", " + EscapedText(reason);
  return text;
}

}  // namespace qm
