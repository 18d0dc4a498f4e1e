// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "os/AtomicFile.h"
#include "store/SettingsFile.h"
#include "support/TempFolder.h"

namespace qm {
namespace {

using test::ReadText;
using test::TempFolder;
using test::WriteText;

class SettingsFileTest : public ::testing::Test {
 protected:
  TempFolder folder;
  std::string path = folder.File("Quillmoor98.ini");

  int IntegerOf(const std::string& text, int defaultValue = -99) {
    WriteText(path, "[S]\nk=" + text + "\n");
    return SettingsFile(path).ReadInteger("S", "k", defaultValue);
  }
};

TEST_F(SettingsFileTest, ReadsSignedDecimalIntegers) {
  EXPECT_EQ(IntegerOf("42"), 42);
  EXPECT_EQ(IntegerOf("-7"), -7);
  EXPECT_EQ(IntegerOf("+8"), 8);
  EXPECT_EQ(IntegerOf("007"), 7);
  EXPECT_EQ(IntegerOf(" 9 "), 9);
  EXPECT_EQ(IntegerOf("'10'"), 10);
  EXPECT_EQ(IntegerOf("2147483647"), 2147483647);
  EXPECT_EQ(IntegerOf("-2147483648"), -2147483647 - 1);
}

TEST_F(SettingsFileTest, ReadsHexadecimalAfter0xOrDollar) {
  EXPECT_EQ(IntegerOf("0x10"), 16);
  EXPECT_EQ(IntegerOf("0X1f"), 31);
  EXPECT_EQ(IntegerOf("$ff"), 255);
  EXPECT_EQ(IntegerOf("$0"), 0);
  EXPECT_EQ(IntegerOf("0xFFFFFFFF"), -1);
}

TEST_F(SettingsFileTest, EmptyInvalidOrOutOfRangeIntegerGivesTheDefault) {
  for (const char* text : {"", "0x", "$", "-", "+", "12abc", "1.5", "x12", "0x1G", "-0x10",
                           "2147483648", "-2147483649", "0x100000000", "99999999999999999999"}) {
    EXPECT_EQ(IntegerOf(text), -99) << '"' << text << '"';
  }
  EXPECT_EQ(SettingsFile(folder.File("none.ini")).ReadInteger("S", "k", 5), 5);
}

TEST_F(SettingsFileTest, ReadBoolIsAnyNonZeroInteger) {
  WriteText(path, "[S]\ntwo=2\nzero=0\nword=yes\nempty=\nminus=-1\n");
  const SettingsFile file(path);
  EXPECT_TRUE(file.ReadBool("S", "two", false));
  EXPECT_TRUE(file.ReadBool("S", "minus", false));
  EXPECT_FALSE(file.ReadBool("S", "zero", true));
  EXPECT_TRUE(file.ReadBool("S", "word", true));
  EXPECT_FALSE(file.ReadBool("S", "word", false));
  EXPECT_FALSE(file.ReadBool("S", "empty", false));
  EXPECT_TRUE(file.ReadBool("S", "missing", true));
}

TEST_F(SettingsFileTest, WritesReachTheDiskOnlyAtFlush) {
  SettingsFile file(path);
  file.WriteInteger("Options", "Refresh", -5);
  file.WriteBool("Options", "Siren", true);
  file.WriteBool("Options", "Quake", false);
  file.WriteString("Options", "SoundFile", "/usr/share/sounds/a b.wav");
  EXPECT_EQ(file.ReadInteger("Options", "Refresh", 0), -5) << "reads see the writes at once";
  EXPECT_FALSE(FileExists(path));
  ASSERT_TRUE(file.Flush());
  EXPECT_EQ(ReadText(path),
            "[Options]\nRefresh=-5\nSiren=1\nQuake=0\nSoundFile=/usr/share/sounds/a b.wav\n");
  EXPECT_FALSE(file.HasUnsavedWrites());
}

TEST_F(SettingsFileTest, NewFileIsReadableByItsOwnerOnly) {
  SettingsFile file(path);
  file.WriteString("Admin", "Admin Password", "secret");
  ASSERT_TRUE(file.Flush());
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SettingsFileTest, FlushWithoutWritesLeavesTheFileAlone) {
  SettingsFile file(path);
  EXPECT_TRUE(file.Flush());
  EXPECT_FALSE(FileExists(path));
}

TEST_F(SettingsFileTest, FlushKeepsWhatOthersWroteSinceStartUp) {
  WriteText(path, "[Options]\nRefresh=1\n");
  SettingsFile file(path);
  WriteText(path, "; edited by hand\n[Options]\nRefresh=1\nIdle=20\n");
  file.WriteInteger("Options", "Refresh", 3);
  ASSERT_TRUE(file.Flush());
  EXPECT_EQ(ReadText(path), "; edited by hand\n[Options]\nRefresh=3\nIdle=20\n");
}

TEST_F(SettingsFileTest, FailedFlushIsReportedAndKeepsTheWritesPending) {
  const std::string inMissingFolder = folder.File("gone/Quillmoor98.ini");
  SettingsFile file(inMissingFolder);
  file.WriteInteger("Kick", "WhoToKick", 1);
  EXPECT_FALSE(file.Flush());
  EXPECT_EQ(file.Error(), "Unable to write to Quillmoor98.ini");
  EXPECT_NE(file.ErrorDetail().find("No such file"), std::string::npos) << file.ErrorDetail();
  EXPECT_TRUE(file.HasUnsavedWrites());

  ASSERT_EQ(::mkdir(folder.File("gone").c_str(), 0700), 0);
  EXPECT_TRUE(file.Flush());
  EXPECT_EQ(ReadText(inMissingFolder), "[Kick]\nWhoToKick=1\n");
}

TEST_F(SettingsFileTest, FileThatCannotBeReadIsNeverReplaced) {
  ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);  // a folder where the file should be
  SettingsFile file(path);
  file.WriteInteger("Kick", "WhoToKick", 1);
  EXPECT_FALSE(file.Flush());
  EXPECT_EQ(file.Error(), "Unable to write to Quillmoor98.ini");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST(SettingsFilePathTest, ComesFromTheSysconfdirVariableOrEtc) {
  const char* saved = std::getenv("QUILLMOOR98_SYSCONFDIR");
  const std::string keep = saved ? saved : "";
  ::unsetenv("QUILLMOOR98_SYSCONFDIR");
  EXPECT_EQ(SettingsFilePath(), "/etc/Quillmoor98.ini");
  ::setenv("QUILLMOOR98_SYSCONFDIR", "", 1);
  EXPECT_EQ(SettingsFilePath(), "/etc/Quillmoor98.ini");
  ::setenv("QUILLMOOR98_SYSCONFDIR", "/opt/qm/etc//", 1);
  EXPECT_EQ(SettingsFilePath(), "/opt/qm/etc/Quillmoor98.ini");
  ::setenv("QUILLMOOR98_SYSCONFDIR", "/", 1);
  EXPECT_EQ(SettingsFilePath(), "/Quillmoor98.ini");
  if (saved) {
    ::setenv("QUILLMOOR98_SYSCONFDIR", keep.c_str(), 1);
  } else {
    ::unsetenv("QUILLMOOR98_SYSCONFDIR");
  }
}

}  // namespace
}  // namespace qm
