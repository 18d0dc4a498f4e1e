// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <vector>

#include "core/Ports.h"

namespace qm::test {

// The message boxes a test saw, in order ("info: TEXT", "error: TEXT",
// "confirm: TEXT", "prompt: CAPTION / PROMPT"), and the texts of each kind.
class RecordingMessages : public MessageBoxes {
 public:
  void Information(const std::string& text) override {
    shown.push_back("info: " + text);
    information.push_back(text);
  }
  void Error(const std::string& text) override {
    shown.push_back("error: " + text);
    errors.push_back(text);
  }
  bool Confirm(const std::string& text) override {
    shown.push_back("confirm: " + text);
    return confirmAnswer;
  }
  std::string Prompt(const std::string& caption, const std::string& prompt) override {
    shown.push_back("prompt: " + caption + " / " + prompt);
    return promptAnswer;
  }

  std::vector<std::string> shown;
  std::vector<std::string> information;
  std::vector<std::string> errors;
  bool confirmAnswer = true;
  std::string promptAnswer;
};

}  // namespace qm::test
