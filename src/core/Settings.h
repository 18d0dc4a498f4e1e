// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>

namespace qm {

// The values of [Options] and [View], one field per key, with the keys'
// defaults. Read live at the moment of use; nobody keeps a copy.
struct Settings {
  int Refresh = 1;       // seconds between ticks, 1..10000
  int Count = 100;       // former users kept, 0..1000
  int Idle = 10;         // minutes, 0..59; 0 = no idle check
  int MaxNumber = 10;    // 0..999; 0 = no check
  bool Quake = false;    // disconnect all while a listed program runs
  bool IPC = true;       // show and log connections to "IPC$"
  bool Siren = true;     // sound on a new connection
  bool Popup = false;    // bring the window up on a new connection
  bool Launch = true;    // start with the desktop
  bool Standard = true;  // built-in siren (true) or SoundFile
  bool IPFilter = false;
  std::string IPFilterString;
  std::string SoundFile;
  bool Notify = true;  // a desktop notification on a new connection
  bool Toolbar = true;
  bool Statusbar = true;
  bool operator==(const Settings&) const = default;
};

}  // namespace qm
