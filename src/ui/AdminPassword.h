#pragma once

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

  // "Security check": true when the entry matches; otherwise says so.
  bool AskForOptions();
  // "Security Shutdown": true when the entry matches; a wrong one is
  // refused in silence.
  bool AskForExit();
  // Both boxes are always shown, also when the first was cancelled; a new
  // password takes effect at once.
  void ChangePwdBtnClick();

 private:
  std::string& password_;
  MessageBoxes& messages_;
};

}  // namespace qm
