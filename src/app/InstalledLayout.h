// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>

#include "app/Application.h"

namespace qm {

inline constexpr const char* kDesktopProgramName = "quillmoor98-desktop";
inline constexpr const char* kProgramName = "quillmoor98";

// Where an installed copy keeps what a build tree keeps beside the
// program: the data folder under /var/lib, the settings in a folder under
// /etc that the program's group may write (files are replaced by rename,
// so /etc itself would have to be writable), the help file under share/,
// the name table tool under libexec/. Only the program file at its
// installed path takes these defaults, so a build tree, a staged install
// or a copy elsewhere keeps everything beside itself. Empty fields give
// no default.
struct InstalledLayout {
  std::string programFile;        // the installed program
  std::string programDirectory;   // ProgramDirectory unless QUILLMOOR98_PROGRAM_DIR says
  std::string settingsDirectory;  // folder of the settings file unless QUILLMOOR98_SYSCONFDIR says
  std::string helpFile;           // used when it exists
  std::string nbtstatTool;        // used when it is an executable file
  std::string desktopProgram;     // the Qt program that runs the desktop front end

  bool Covers(const std::string& runningProgram) const;

  // The program file is free of Qt, so that a server without a desktop
  // installs none; without --console it becomes the desktop program: the
  // installed one for the installed program file, otherwise the one named
  // kDesktopProgramName beside it (a build tree).
  std::string DesktopProgramFor(const std::string& runningProgram) const;
  // The program file that a running desktop program stands for: its
  // instance name, its folders and its start-up entry are those of the
  // program file, so the desktop and the console front end stay one program.
  std::string ProgramFileFor(const std::string& runningDesktop) const;

  // Fills config's folders and files for the running program
  // (config.programFile).
  void Apply(ApplicationConfig& config) const;
};

}  // namespace qm
