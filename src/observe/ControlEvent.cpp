// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/ControlEvent.h"

#include "core/Text.h"

namespace qm {

std::string ControlEvent::Text() const {
  return "uid " + std::to_string(uid) + ": " + action + " " + EscapedText(target);
}

}  // namespace qm
