#pragma once

#include <QUrl>
#include <functional>
#include <string>

namespace qm {

class MessageBoxes;

// Opens a client computer's shared folders or an open file with the
// desktop's handler, with the program's messages for what goes wrong:
// "File not found", "Path not found", "Computer is not accessible", and
// kNoProgram for a file that is there but has no program to open it.
class ShellOpen {
 public:
  using Opener = std::function<bool(const QUrl&)>;
  // The desktop's URL handler unless a test gives its own.
  explicit ShellOpen(MessageBoxes& messages, Opener opener = {});

  // smb://NAME/ with the name percent-encoded.
  void OpenComputer(const std::string& name);
  // file://PATH, the path the server reported.
  void OpenFile(const std::string& path);

  static QUrl ComputerUrl(const std::string& name);
  // An existing file that the desktop cannot open.
  static constexpr const char* kNoProgram = "No program is registered to open this file";

 private:
  MessageBoxes& messages_;
  Opener opener_;
};

}  // namespace qm
