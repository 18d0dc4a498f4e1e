// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/AdminPassword.h"

#include "core/Text.h"

namespace qm {

bool AdminPassword::AskForOptions() {
  const std::optional<std::string> typed =
      messages_.PromptOrCancel("Security check", "Enter Admin Password");
  if (!typed) return false;
  if (*typed == password_) return true;
  messages_.Error("Incorrect Password");
  return false;
}

bool AdminPassword::AskForExit() {
  return messages_.PromptOrCancel("Security Shutdown", "Enter the ADMIN Password to Exit") ==
         password_;
}

std::optional<std::string> AdminPassword::AskNewPassword() {
  const std::optional<std::string> text =
      messages_.PromptOrCancel("Change Admin Password", "Enter New Password");
  if (!text) return std::nullopt;
  const std::optional<std::string> check =
      messages_.PromptOrCancel("Change Admin Password", "Verify New Password");
  if (!check) return std::nullopt;
  if (*text != *check) {
    messages_.Error("Passwords do not match, aborting...");
    return std::nullopt;
  }
  // Two empty boxes are what Enter alone gives: removing the password takes
  // a Yes, which is never the default.
  if (text->empty() &&
      !messages_.Confirm("Remove the administrator password? Anybody could then change the "
                         "options and end the program.")) {
    return std::nullopt;
  }
  return text;
}

void AdminPassword::SetPassword(const std::string& text) {
  password_ = std::string(CutUtf8Characters(text, kMaxCharacters));
}

}  // namespace qm
