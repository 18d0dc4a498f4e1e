// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <functional>
#include <string>

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

// [Window]: the main window, with "Maximized" beside its restored bounds.
WindowBounds ReadMainWindowBounds(const SettingsFile& file);
void WriteMainWindowBounds(SettingsFile& file, const WindowBounds& bounds);

// [KickList]: the Disconnect List dialog.
WindowBounds ReadKickListBounds(const SettingsFile& file);
void WriteKickListBounds(SettingsFile& file, const WindowBounds& bounds);

// [Admin] "Admin Password", in plain text; held and written as at most
// kMaxAdminPasswordCharacters characters. Only a password that changed is
// written: the stored one stays as it is, byte for byte.
inline constexpr std::size_t kMaxAdminPasswordCharacters = 255;
std::string ReadAdminPassword(const SettingsFile& file);
void WriteAdminPassword(SettingsFile& file, const std::string& password);

// [Kick] WhoToKick: 0 KickNobody, 1 KickList, 2 KickAll; anything else 0.
int ReadWhoToKick(const SettingsFile& file);
void WriteWhoToKick(SettingsFile& file, int whoToKick);

}  // namespace qm
