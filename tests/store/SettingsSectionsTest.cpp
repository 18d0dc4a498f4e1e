// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/Monitor.h"
#include "store/SettingsSections.h"
#include "support/TempFolder.h"

namespace qm {
namespace {

using test::ReadText;
using test::TempFolder;
using test::WriteText;

bool SameSettings(const Settings& a, const Settings& b) {
  return a.Refresh == b.Refresh && a.Count == b.Count && a.Idle == b.Idle &&
         a.MaxNumber == b.MaxNumber && a.Quake == b.Quake && a.IPC == b.IPC && a.Siren == b.Siren &&
         a.Popup == b.Popup && a.Launch == b.Launch && a.Standard == b.Standard &&
         a.IPFilter == b.IPFilter && a.IPFilterString == b.IPFilterString &&
         a.SoundFile == b.SoundFile && a.Toolbar == b.Toolbar && a.Statusbar == b.Statusbar;
}

class SettingsSectionsTest : public ::testing::Test {
 protected:
  TempFolder folder;
  std::string path = folder.File("Quillmoor98.ini");

  Settings LoadFrom(const std::string& text) {
    WriteText(path, text);
    Settings s;
    s.Refresh = s.Count = s.Idle = s.MaxNumber = -1;  // every field must be read
    LoadOptions(SettingsFile(path), s);
    return s;
  }
};

TEST_F(SettingsSectionsTest, WithoutAFileEverythingHasItsDefault) {
  const SettingsFile file(folder.File("missing.ini"));
  Settings s;
  s.Refresh = 77;
  s.Quake = true;
  s.SoundFile = "stale";
  LoadOptions(file, s);
  EXPECT_TRUE(SameSettings(s, Settings{}));
  EXPECT_EQ(ReadMainWindowBounds(file), (WindowBounds{100, 100, 350, 450}));
  EXPECT_EQ(ReadKickListBounds(file), (WindowBounds{202, 245, 291, 333}));
  EXPECT_EQ(ReadAdminPassword(file), "");
  EXPECT_EQ(ReadWhoToKick(file), KickNobody);
}

TEST_F(SettingsSectionsTest, IntegersOutsideTheirRangeGiveTheirDefaults) {
  struct Case {
    const char* key;
    int Settings::*field;
    int low, high, defaultValue;
  };
  for (const Case& c :
       {Case{"Refresh", &Settings::Refresh, 1, 10000, 1},
        Case{"Count", &Settings::Count, 0, 1000, 100}, Case{"Idle", &Settings::Idle, 0, 59, 10},
        Case{"MaxNumber", &Settings::MaxNumber, 0, 999, 10}}) {
    for (int value : {c.low - 1, c.low, c.high, c.high + 1}) {
      const bool inRange = value >= c.low && value <= c.high;
      const Settings s = LoadFrom("[Options]\n" + std::string(c.key) + "=" + std::to_string(value));
      EXPECT_EQ(s.*c.field, inRange ? value : c.defaultValue) << c.key << "=" << value;
    }
  }
}

TEST_F(SettingsSectionsTest, ValuesReadTheWayTheFileSyntaxSays) {
  const Settings s = LoadFrom(
      "[OPTIONS]\nRefresh=0x10\nSiren=word\nPopup=\nQuake=2\nIPFilterString= '192.168.' \n"
      "[view]\nToolbar=0\n");
  EXPECT_EQ(s.Refresh, 16);
  EXPECT_TRUE(s.Siren) << "a word gives the default";
  EXPECT_FALSE(s.Popup) << "an empty value gives the default";
  EXPECT_TRUE(s.Quake) << "any non-zero number is true";
  EXPECT_EQ(s.IPFilterString, "192.168.");
  EXPECT_FALSE(s.Toolbar);
  EXPECT_TRUE(s.Statusbar);
}

TEST_F(SettingsSectionsTest, FalseLaunchRemovesTheStartUpRegistrationBeforeTheProgramList) {
  std::vector<std::string> calls;
  OptionsHooks hooks;
  hooks.removeStartupRegistration = [&] { calls.push_back("remove"); };
  hooks.loadProgramList = [&] { calls.push_back("programs"); };
  Settings s;
  WriteText(path, "[Options]\nLaunch=0\n");
  LoadOptions(SettingsFile(path), s, hooks);
  EXPECT_EQ(calls, (std::vector<std::string>{"remove", "programs"}));

  calls.clear();
  WriteText(path, "[Options]\nLaunch=1\n");
  LoadOptions(SettingsFile(path), s, hooks);
  EXPECT_EQ(calls, (std::vector<std::string>{"programs"})) << "a true Launch creates nothing";
}

TEST_F(SettingsSectionsTest, SaveWritesEveryKeyInItsOrder) {
  SettingsFile file(path);
  Settings s;
  s.IPFilterString = "10.";
  bool programListSeenBetween = false;
  OptionsHooks hooks;
  hooks.saveProgramList = [&] {
    programListSeenBetween = file.ReadString("Options", "IPFilterString", "-") == "10." &&
                             file.ReadString("Options", "SoundFile", "-") == "-";
    return true;
  };
  SaveOptions(file, s, hooks);
  ASSERT_TRUE(file.Flush());
  EXPECT_TRUE(programListSeenBetween);
  EXPECT_EQ(ReadText(path),
            "[Options]\nRefresh=1\nCount=100\nIdle=10\nMaxNumber=10\nQuake=0\nIPC=1\nSiren=1\n"
            "Popup=0\nLaunch=1\nStandard=1\nIPFilter=0\nIPFilterString=10.\nSoundFile=\nNotify=1\n"
            "\n[View]\nToolbar=1\nStatusbar=1\n");
}

TEST_F(SettingsSectionsTest, AProgramListThatCannotBeWrittenSkipsTheKeysAfterIt) {
  SettingsFile file(path);
  Settings s;
  s.SoundFile = "/x.wav";
  OptionsHooks hooks;
  hooks.saveProgramList = [] { return false; };
  SaveOptions(file, s, hooks);
  ASSERT_TRUE(file.Flush());
  EXPECT_EQ(file.ReadString("Options", "IPFilterString", "-"), "");
  EXPECT_EQ(file.ReadString("Options", "SoundFile", "-"), "-");
}

TEST_F(SettingsSectionsTest, NotifyDefaultsToOnForOldFiles) {
  WriteText(path, "[Options]\nRefresh=5\n");
  Settings s;
  s.Notify = false;
  LoadOptions(SettingsFile(path), s);
  EXPECT_TRUE(s.Notify);
  WriteText(path, "[Options]\nNotify=0\n");
  LoadOptions(SettingsFile(path), s);
  EXPECT_FALSE(s.Notify);
}

TEST_F(SettingsSectionsTest, SavedOptionsLoadBackTheSame) {
  Settings saved;
  saved.Refresh = 30;
  saved.Count = 0;
  saved.Idle = 59;
  saved.MaxNumber = 999;
  saved.Quake = true;
  saved.IPC = false;
  saved.Siren = false;
  saved.Popup = true;
  saved.Launch = false;
  saved.Standard = false;
  saved.IPFilter = true;
  saved.IPFilterString = "192.168.1.";
  saved.SoundFile = "/home/admin/Sounds/alarm ünïcode.wav";
  saved.Toolbar = false;
  saved.Statusbar = false;
  SettingsFile file(path);
  SaveOptions(file, saved);
  ASSERT_TRUE(file.Flush());
  Settings loaded;
  LoadOptions(SettingsFile(path), loaded);
  EXPECT_TRUE(SameSettings(saved, loaded));
}

TEST_F(SettingsSectionsTest, WindowBoundsAreTakenAsTheyAre) {
  SettingsFile file(path);
  WriteMainWindowBounds(file, {-20, 5000, 1, 0, true});
  WriteKickListBounds(file, {1, 2, 3, 4});
  ASSERT_TRUE(file.Flush());
  const SettingsFile reread(path);
  EXPECT_EQ(ReadMainWindowBounds(reread), (WindowBounds{-20, 5000, 1, 0, true}));
  EXPECT_EQ(ReadKickListBounds(reread), (WindowBounds{1, 2, 3, 4}));
  EXPECT_EQ(ReadText(path),
            "[Window]\nTop=-20\nLeft=5000\nHeight=1\nWidth=0\nMaximized=1\n\n"
            "[KickList]\nTop=1\nLeft=2\nHeight=3\nWidth=4\n");
}

// The password is held as read (at most 255 characters) and the file holds
// what is held: a password read whole stays byte for byte, one read cut is
// written back cut, a missing key is written.
TEST_F(SettingsSectionsTest, AdminPasswordIsWrittenBackAsHeldAndKeptWhenTheSame) {
  std::string euro;  // three bytes a character
  for (int i = 0; i < 256; ++i) euro += "\xE2\x82\xAC";
  const struct {
    std::string text, held, after;
  } cases[] = {
      {"[Admin]\r\nAdmin Password=" + euro.substr(0, 600) + "\r\n", euro.substr(0, 600), ""},
      {"[Admin]\r\nAdmin Password= \"" + euro.substr(0, 600) + "\"\r\n", euro.substr(0, 600), ""},
      {"[Admin]\r\nAdmin Password=" + euro + "\r\n", euro.substr(0, 765),
       "[Admin]\r\nAdmin Password=" + euro.substr(0, 765) + "\r\n"},
      {"[Options]\r\n", "", "[Options]\r\n\r\n[Admin]\r\nAdmin Password=\r\n"},
  };
  for (const auto& c : cases) {
    WriteText(path, c.text);
    SettingsFile file(path);
    EXPECT_EQ(ReadAdminPassword(file), c.held);
    WriteAdminPassword(file, c.held);  // a run that changed nothing
    ASSERT_TRUE(file.Flush());
    EXPECT_EQ(ReadText(path), c.after.empty() ? c.text : c.after);
  }
}

// Each key takes the side that changed it; the file's where both did.
TEST_F(SettingsSectionsTest, MergeTakesEachKeyFromTheSideThatChangedItTheFileOnBoth) {
  Settings base, ours, disk, expected;
  ours.Count = expected.Count = 7;  // ours only
  disk.Idle = expected.Idle = 3;    // the file only
  std::tie(ours.MaxNumber, disk.MaxNumber, expected.MaxNumber) = std::tuple(50, 20, 20);
  ours.IPFilterString = disk.IPFilterString = expected.IPFilterString = "10.";  // both alike
  ours.Toolbar = expected.Toolbar = false;                                      // [View], ours only
  std::vector<std::string> dropped;
  EXPECT_EQ(MergeOptions(base, ours, disk, dropped), expected);
  EXPECT_EQ(dropped, std::vector<std::string>{"MaxNumber=50"});
}

TEST_F(SettingsSectionsTest, WhoToKickOutsideZeroToTwoIsKickNobody) {
  for (const auto& [text, expected] :
       std::vector<std::pair<std::string, int>>{{"0", KickNobody},
                                                {"1", KickList},
                                                {"2", KickAll},
                                                {"3", KickNobody},
                                                {"-1", KickNobody},
                                                {"all", KickNobody}}) {
    WriteText(path, "[Kick]\nWhoToKick=" + text + "\n");
    EXPECT_EQ(ReadWhoToKick(SettingsFile(path)), expected) << text;
  }
  SettingsFile file(path);
  WriteWhoToKick(file, KickAll);
  ASSERT_TRUE(file.Flush());
  EXPECT_EQ(ReadWhoToKick(SettingsFile(path)), KickAll);
}

}  // namespace
}  // namespace qm
