// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "core/WindowBounds.h"
#include "store/SettingsFile.h"

namespace qm {

// What loading and saving [Options] and [View] hand to others, at the moment
// the order of the keys gives them. Unset ones are skipped.
struct OptionsHooks {
  // Launch was read as false: the start-up registration goes at once.
  std::function<void()> removeStartupRegistration;
  // After every key has been read.
  std::function<void()> loadProgramList;
  // Between IPFilterString and SoundFile. False (the list could not be
  // written): the keys after it are not written either.
  std::function<bool()> saveProgramList;
};

// [Options] and [View] into settings, each key with its default and range
// (a value outside the range gives the default). The caller then sets the
// refresh timer's interval and shows or hides the toolbar and status bar.
void LoadOptions(const SettingsFile& file, Settings& settings, const OptionsHooks& hooks = {});
// Every key of [Options] and [View], whether it changed or not.
void SaveOptions(SettingsFile& file, const Settings& settings, const OptionsHooks& hooks = {});

// The settings after the file was read again while the program had
// changed some of them too: each key of [Options] and [View] takes the side
// that changed it since base (the values the program last read from or
// wrote to the file), the file's where both did. dropped gets "KEY=VALUE"
// for each change of the program's that the file's won over.
Settings MergeOptions(const Settings& base, const Settings& ours, const Settings& disk,
                      std::vector<std::string>& dropped);

// [Window]: the main window, with "Maximized" beside its restored bounds.
WindowBounds ReadMainWindowBounds(const SettingsFile& file);
void WriteMainWindowBounds(SettingsFile& file, const WindowBounds& bounds);

// [KickList]: the Disconnect List dialog.
WindowBounds ReadKickListBounds(const SettingsFile& file);
void WriteKickListBounds(SettingsFile& file, const WindowBounds& bounds);

// [Admin] "Admin Password", in plain text; held and written as at most
// kMaxAdminPasswordCharacters characters. A password the file already
// holds as it is held here is not written again; a missing key is written
// (empty too), and a longer stored one is written back as it was read.
inline constexpr std::size_t kMaxAdminPasswordCharacters = 255;
std::string ReadAdminPassword(const SettingsFile& file);
void WriteAdminPassword(SettingsFile& file, const std::string& password);

// [Kick] WhoToKick: 0 KickNobody, 1 KickList, 2 KickAll; anything else 0.
int ReadWhoToKick(const SettingsFile& file);
void WriteWhoToKick(SettingsFile& file, int whoToKick);

}  // namespace qm
