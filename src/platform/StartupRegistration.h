// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>

namespace qm {

// Starting with the desktop: a desktop-entry file "Quillmoor98.desktop" in
// an autostart folder names the program file: the user's own
// (<config home>/autostart, created when missing) for a user, the
// system's (<sysconfdir>/xdg/autostart, never created) for root, the only
// one who may change what every user starts. An entry of that name in
// <sysconfdir>/xdg/autostart-services is removed whenever it is found and
// never written. No folder is reached through a link that belongs to
// anybody but root or the running user.
class StartupRegistration {
 public:
  static constexpr const char* kEntryName = "Quillmoor98.desktop";

  // userConfigDir empty: the system's folder.
  StartupRegistration(std::string sysconfDir, std::string programFile,
                      std::string userConfigDir = {});

  // The user's configuration folder ($XDG_CONFIG_HOME, else ~/.config);
  // empty for root and when neither is known.
  static std::string UserConfigDir();

  // Enabled: writes the entry (replacing an earlier one); false when it
  // cannot be written (no autostart folder, no rights), with why in words,
  // and the caller then disables its check box. Disabled: removes the
  // entry if there is one; a removal that fails changes nothing and is not
  // reported (true).
  bool Set(bool enabled, std::string* why = nullptr);

  std::string RunFolder() const;
  std::string RunPath() const;
  std::string ServicesPath() const;
  // The entry's text for the program file.
  static std::string EntryText(const std::string& programFile);

 private:
  std::string sysconfDir_;
  std::string programFile_;
  std::string userConfigDir_;
};

}  // namespace qm
