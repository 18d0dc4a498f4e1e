// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <optional>
#include <string>

#include "core/Ports.h"

namespace qm {

// The prompts that guard the options and the exit, and the password change.
// The password itself belongs to the main window; this only asks and
// compares (exactly: case and blanks count).
class AdminPassword {
 public:
  // Held as at most this many characters.
  static constexpr std::size_t kMaxCharacters = 255;

  AdminPassword(std::string& password, MessageBoxes& messages)
      : password_(password), messages_(messages) {}

  // "Security check": true when the entry matches; a wrong one is told,
  // a cancelled box opens nothing.
  bool AskForOptions();
  // "Security Shutdown": true when the entry matches; a wrong or cancelled
  // one is refused in silence (also with no password set).
  bool AskForExit();
  // The new password typed twice, or nothing when a box was cancelled, the
  // two differ (which is told) or an empty one (no password) was not
  // confirmed. The password itself stays as it is:
  // the dialog that asked decides whether it takes it (SetPassword).
  std::optional<std::string> AskNewPassword();
  void SetPassword(const std::string& text);

 private:
  std::string& password_;
  MessageBoxes& messages_;
};

}  // namespace qm
