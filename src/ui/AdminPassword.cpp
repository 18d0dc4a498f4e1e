#include "ui/AdminPassword.h"

#include "core/Text.h"

namespace qm {

bool AdminPassword::AskForOptions() {
  if (messages_.Prompt("Security check", "Enter Admin Password") == password_) return true;
  messages_.Error("Incorrect Password");
  return false;
}

bool AdminPassword::AskForExit() {
  return messages_.Prompt("Security Shutdown", "Enter the ADMIN Password to Exit") == password_;
}

void AdminPassword::ChangePwdBtnClick() {
  const std::string text = messages_.Prompt("Change Admin Password", "Enter New Password");
  const std::string check = messages_.Prompt("Change Admin Password", "Verify New Password");
  if (text != check) {
    messages_.Error("Passwords do not match, aborting...");
    return;
  }
  password_ = std::string(CutUtf8Characters(text, kMaxCharacters));
  messages_.Information("Password Changed");
}

}  // namespace qm
