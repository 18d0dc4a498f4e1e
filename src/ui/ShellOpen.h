// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QUrl>
#include <functional>
#include <memory>
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
  // Tells answer, now or later, whether some program of the desktop opens
  // addresses of the scheme.
  using HandlerQuery =
      std::function<void(const QString& scheme, std::function<void(bool found)> answer)>;
  // The desktop's URL handler and its table of handlers (xdg-mime) unless
  // a test gives its own.
  explicit ShellOpen(MessageBoxes& messages, Opener opener = {}, HandlerQuery query = {});
  ~ShellOpen();

  // smb://NAME/ with the name percent-encoded. The desktop's opener starts
  // a program and says nothing when none takes the address; so the table
  // is asked first (without waiting for it), and the message says why.
  void OpenComputer(const std::string& name);
  // file://PATH, the path the server reported.
  void OpenFile(const std::string& path);

  static QUrl ComputerUrl(const std::string& name);
  // An existing file that the desktop cannot open.
  static constexpr const char* kNoProgram = "No program is registered to open this file";
  static constexpr const char* kNoBrowser =
      "Computer is not accessible: no program on this computer opens network folders "
      "(smb:// addresses)";

 private:
  MessageBoxes& messages_;
  Opener opener_;
  HandlerQuery query_;
  // Answers that arrive after this object is gone are dropped.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qm
