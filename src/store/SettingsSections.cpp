// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "store/SettingsSections.h"

#include "core/Monitor.h"
#include "core/Text.h"
#include "store/OptionKeys.h"

namespace qm {

namespace {
constexpr const char* kOptions = "Options";
constexpr const char* kView = "View";

int ReadInRange(const SettingsFile& file, const char* section, const char* key, int defaultValue,
                int low, int high) {
  const int value = file.ReadInteger(section, key, defaultValue);
  return value < low || value > high ? defaultValue : value;
}

WindowBounds ReadBounds(const SettingsFile& file, const char* section,
                        const WindowBounds& defaults) {
  WindowBounds b;
  b.Top = file.ReadInteger(section, "Top", defaults.Top);
  b.Left = file.ReadInteger(section, "Left", defaults.Left);
  b.Height = file.ReadInteger(section, "Height", defaults.Height);
  b.Width = file.ReadInteger(section, "Width", defaults.Width);
  return b;
}

void WriteBounds(SettingsFile& file, const char* section, const WindowBounds& b) {
  file.WriteInteger(section, "Top", b.Top);
  file.WriteInteger(section, "Left", b.Left);
  file.WriteInteger(section, "Height", b.Height);
  file.WriteInteger(section, "Width", b.Width);
}
}  // namespace

void LoadOptions(const SettingsFile& file, Settings& settings, const OptionsHooks& hooks) {
  // Refresh, Count, Idle, MaxNumber.
  for (const OptionKeys::Key& key : OptionKeys::Integers()) {
    settings.*key.integer = ReadInRange(file, kOptions, key.name, key.fallback, key.low, key.high);
  }

  settings.Quake = file.ReadBool(kOptions, "Quake", false);
  settings.IPC = file.ReadBool(kOptions, "IPC", true);
  settings.Siren = file.ReadBool(kOptions, "Siren", true);
  settings.Popup = file.ReadBool(kOptions, "Popup", false);
  settings.Launch = file.ReadBool(kOptions, "Launch", true);
  // Only a false Launch acts: a true one leaves the registration as it is.
  if (!settings.Launch && hooks.removeStartupRegistration) hooks.removeStartupRegistration();

  settings.Toolbar = file.ReadBool(kView, "Toolbar", true);
  settings.Statusbar = file.ReadBool(kView, "Statusbar", true);

  settings.Standard = file.ReadBool(kOptions, "Standard", true);
  settings.IPFilter = file.ReadBool(kOptions, "IPFilter", false);
  settings.IPFilterString = file.ReadString(kOptions, "IPFilterString", "");
  settings.SoundFile = file.ReadString(kOptions, "SoundFile", "");
  // Newer than the others: a file without it keeps the default.
  settings.Notify = file.ReadBool(kOptions, "Notify", true);

  if (hooks.loadProgramList) hooks.loadProgramList();
}

void SaveOptions(SettingsFile& file, const Settings& settings, const OptionsHooks& hooks) {
  file.WriteInteger(kOptions, "Refresh", settings.Refresh);
  file.WriteInteger(kOptions, "Count", settings.Count);
  file.WriteInteger(kOptions, "Idle", settings.Idle);
  file.WriteInteger(kOptions, "MaxNumber", settings.MaxNumber);

  file.WriteBool(kOptions, "Quake", settings.Quake);
  file.WriteBool(kOptions, "IPC", settings.IPC);
  file.WriteBool(kOptions, "Siren", settings.Siren);
  file.WriteBool(kOptions, "Popup", settings.Popup);
  file.WriteBool(kOptions, "Launch", settings.Launch);
  file.WriteBool(kOptions, "Standard", settings.Standard);
  file.WriteBool(kOptions, "IPFilter", settings.IPFilter);

  file.WriteBool(kView, "Toolbar", settings.Toolbar);
  file.WriteBool(kView, "Statusbar", settings.Statusbar);

  file.WriteString(kOptions, "IPFilterString", settings.IPFilterString);
  if (hooks.saveProgramList && !hooks.saveProgramList()) return;
  file.WriteString(kOptions, "SoundFile", settings.SoundFile);
  file.WriteBool(kOptions, "Notify", settings.Notify);
}

Settings MergeOptions(const Settings& base, const Settings& ours, const Settings& disk,
                      std::vector<std::string>& dropped) {
  Settings merged = ours;
  auto merge = [&](auto Settings::*field, const std::string& name, auto text) {
    if (disk.*field == base.*field) return;
    if (ours.*field != base.*field && ours.*field != disk.*field) {
      dropped.push_back(name + "=" + text(ours.*field));
    }
    merged.*field = disk.*field;
  };
  auto integer = [](int v) { return std::to_string(v); };
  auto boolean = [](bool v) { return std::string(v ? "1" : "0"); };
  auto text = [](const std::string& v) { return v; };
  for (const OptionKeys::Key& key : OptionKeys::All()) {
    switch (key.type) {
      case OptionKeys::Type::Integer:
        merge(key.integer, key.name, integer);
        break;
      case OptionKeys::Type::Boolean:
        merge(key.boolean, key.name, boolean);
        break;
      case OptionKeys::Type::Text:
        merge(key.text, key.name, text);
        break;
    }
  }
  merge(&Settings::Toolbar, "Toolbar", boolean);
  merge(&Settings::Statusbar, "Statusbar", boolean);
  return merged;
}

WindowBounds ReadMainWindowBounds(const SettingsFile& file) {
  WindowBounds bounds = ReadBounds(file, "Window", kMainWindowDefaultBounds);
  bounds.Maximized = file.ReadBool("Window", "Maximized", false);
  return bounds;
}

void WriteMainWindowBounds(SettingsFile& file, const WindowBounds& bounds) {
  WriteBounds(file, "Window", bounds);
  file.WriteBool("Window", "Maximized", bounds.Maximized);
}

WindowBounds ReadKickListBounds(const SettingsFile& file) {
  return ReadBounds(file, "KickList", kKickListDefaultBounds);
}

void WriteKickListBounds(SettingsFile& file, const WindowBounds& bounds) {
  WriteBounds(file, "KickList", bounds);
}

std::string ReadAdminPassword(const SettingsFile& file) {
  return std::string(CutUtf8Characters(file.ReadString("Admin", "Admin Password", ""),
                                       kMaxAdminPasswordCharacters));
}

void WriteAdminPassword(SettingsFile& file, const std::string& password) {
  file.WriteString("Admin", "Admin Password",
                   std::string(CutUtf8Characters(password, kMaxAdminPasswordCharacters)));
}

int ReadWhoToKick(const SettingsFile& file) {
  return ReadInRange(file, "Kick", "WhoToKick", KickNobody, KickNobody, KickAll);
}

void WriteWhoToKick(SettingsFile& file, int whoToKick) {
  file.WriteInteger("Kick", "WhoToKick", whoToKick);
}

}  // namespace qm
