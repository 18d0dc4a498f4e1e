// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include <string>

#include "store/IniFile.h"

namespace qm {
namespace {

std::string Value(const IniFile& ini, const char* section, const char* key) {
  return ini.Read(section, key).value_or("<missing>");
}

TEST(IniFileTest, MatchesSectionAndKeyNamesWithoutRegardToCase) {
  const IniFile ini("[options]\nREFRESH=5\n");
  EXPECT_EQ(Value(ini, "Options", "Refresh"), "5");
  EXPECT_EQ(Value(ini, "OPTIONS", "refresh"), "5");
}

TEST(IniFileTest, BlanksAroundNamesAndValuesAreNotPartOfThem) {
  const IniFile ini("  [ Admin ]  \n\t Admin Password \t=  two words \t\n");
  EXPECT_EQ(Value(ini, "Admin", "Admin Password"), "two words");
}

TEST(IniFileTest, OnePairOfMatchingQuotesIsDropped) {
  const IniFile ini(
      "[S]\nd=\" padded "
      "\"\ns='single'\nmixed=\"a'\nlone=\"\nempty=''\ninner=a\"b\"\ntwice=\"\"x\"\"\n");
  EXPECT_EQ(Value(ini, "S", "d"), " padded ");
  EXPECT_EQ(Value(ini, "S", "s"), "single");
  EXPECT_EQ(Value(ini, "S", "mixed"), "\"a'");
  EXPECT_EQ(Value(ini, "S", "lone"), "\"");
  EXPECT_EQ(Value(ini, "S", "empty"), "");
  EXPECT_EQ(Value(ini, "S", "inner"), "a\"b\"");
  EXPECT_EQ(Value(ini, "S", "twice"), "\"x\"");
}

TEST(IniFileTest, LongValueIsCutToItsFirst1023BytesAtACharacterBoundary) {
  const std::string ascii(1500, 'x');
  const std::string accented = std::string(1022, 'a') + "\xC3\xA9" + "tail";  // é spans 1023-1024
  const IniFile ini("[S]\nascii=" + ascii + "\naccented=" + accented +
                    "\nexact=" + std::string(1023, 'y') + "\n");
  EXPECT_EQ(Value(ini, "S", "ascii"), std::string(1023, 'x'));
  EXPECT_EQ(Value(ini, "S", "accented"), std::string(1022, 'a'));
  EXPECT_EQ(Value(ini, "S", "exact"), std::string(1023, 'y'));
}

TEST(IniFileTest, ReadsCrLfAndLfLinesAndALastLineWithoutEnd) {
  const IniFile ini("[S]\r\na=1\r\nb=2\nc=3");
  EXPECT_EQ(Value(ini, "S", "a"), "1");
  EXPECT_EQ(Value(ini, "S", "b"), "2");
  EXPECT_EQ(Value(ini, "S", "c"), "3");
}

TEST(IniFileTest, MissingSectionOrKeyGivesNothing) {
  const IniFile ini("top=0\n[S]\na=1\n[T]\n");
  EXPECT_FALSE(ini.Read("X", "a"));
  EXPECT_FALSE(ini.Read("S", "b"));
  EXPECT_FALSE(ini.Read("T", "a")) << "a key belongs to its own section only";
  EXPECT_FALSE(ini.Read("", "top")) << "keys before the first section belong to none";
  EXPECT_FALSE(IniFile().Read("S", "a"));
}

TEST(IniFileTest, FirstOfDuplicateSectionsAndKeysCounts) {
  IniFile ini("[S]\na=first\na=second\n[s]\na=third\nb=only-in-second\n");
  EXPECT_EQ(Value(ini, "S", "a"), "first");
  EXPECT_FALSE(ini.Read("S", "b"));
  ASSERT_TRUE(ini.Write("S", "a", "new"));
  EXPECT_EQ(ini.Text(), "[S]\na=new\na=second\n[s]\na=third\nb=only-in-second\n");
}

TEST(IniFileTest, CommentsAndOtherLinesAreNeverKeys) {
  const IniFile ini("[S]\n;a=commented\n  ; b=also\nnot a key\na=real\n");
  EXPECT_EQ(Value(ini, "S", "a"), "real");
  EXPECT_FALSE(ini.Read("S", "b"));
  EXPECT_FALSE(ini.Read("S", "not a key"));
}

TEST(IniFileTest, WriteReplacesAValueInPlaceAndKeepsEveryOtherLine) {
  IniFile ini(
      "; settings\r\n[Options]\r\n  refresh = 5 ; old\r\nUnknown=x\r\n\r\n[View]\r\nToolbar=1\r\n");
  ASSERT_TRUE(ini.Write("OPTIONS", "Refresh", "7"));
  // Line ends are kept; a new line ends as the first line does.
  ASSERT_TRUE(ini.Write("View", "Statusbar", "0"));
  EXPECT_EQ(ini.Text(),
            "; settings\r\n[Options]\r\nrefresh=7\r\nUnknown=x\r\n\r\n[View]\r\nToolbar=1\r\n"
            "Statusbar=0\r\n");
}

TEST(IniFileTest, WritingTheValueAKeyHasChangesNothing) {
  IniFile ini("[Options]\r\n  Idle = \"10\" \r\n; kept\nx=1");
  ASSERT_TRUE(ini.Write("Options", "Idle", "10"));
  EXPECT_EQ(ini.Text(), "[Options]\r\n  Idle = \"10\" \r\n; kept\nx=1");
}

TEST(IniFileTest, WriteAddsAKeyAfterTheLastKeyOfItsSection) {
  IniFile ini("[A]\nx=1\n\n; about B\n[B]\ny=2\n[C]\n; nothing yet\n");
  ASSERT_TRUE(ini.Write("A", "z", "3"));
  ASSERT_TRUE(ini.Write("B", "w", "4"));
  ASSERT_TRUE(ini.Write("C", "k", "5"));
  EXPECT_EQ(ini.Text(), "[A]\nx=1\nz=3\n\n; about B\n[B]\ny=2\nw=4\n[C]\nk=5\n; nothing yet\n");
}

TEST(IniFileTest, WriteAddsAMissingSectionAtTheEnd) {
  IniFile empty;
  ASSERT_TRUE(empty.Write("Kick", "WhoToKick", "2"));
  EXPECT_EQ(empty.Text(), "[Kick]\nWhoToKick=2\n");

  IniFile some("[A]\r\nx=1");
  ASSERT_TRUE(some.Write("B", "y", "2"));
  EXPECT_EQ(some.Text(), "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
}

// Lines that are neither sections nor keys, in a row, are one entry.
TEST(IniFileTest, BlankLinesAndCommentsInARowAreOneEntry) {
  const std::string text = "[A]\n" + std::string(100000, '\n') + "; note\n\nx=1\n\n";
  IniFile ini(text);
  EXPECT_EQ(ini.LineCount(), 4u);
  ASSERT_TRUE(ini.Write("B", "y", "2"));
  EXPECT_EQ(ini.Text(), text + "[B]\ny=2\n");
}

TEST(IniFileTest, WrittenValueEndsAtItsFirstLineBreak) {
  IniFile ini;
  ASSERT_TRUE(ini.Write("Admin", "Admin Password", "secret\n[Options]\nRefresh=9"));
  const IniFile reread(ini.Text());
  EXPECT_EQ(Value(reread, "Admin", "Admin Password"), "secret");
  EXPECT_FALSE(reread.Read("Options", "Refresh"));
  EXPECT_EQ(reread.LineCount(), 2u);
}

TEST(IniFileTest, WriteRefusesNamesNoLineCouldHold) {
  IniFile ini("[S]\na=1\n");
  const std::string before = ini.Text();
  EXPECT_FALSE(ini.Write("", "a", "v"));
  EXPECT_FALSE(ini.Write("S]x", "a", "v"));
  EXPECT_FALSE(ini.Write("S\n", "a", "v"));
  EXPECT_FALSE(ini.Write("S", "", "v"));
  EXPECT_FALSE(ini.Write("S", "a=b", "v"));
  EXPECT_FALSE(ini.Write("S", "[a", "v"));
  EXPECT_FALSE(ini.Write("S", ";a", "v"));
  EXPECT_FALSE(ini.Write("S", "a\rb", "v"));
  EXPECT_EQ(ini.Text(), before);
}

TEST(IniFileTest, SurvivesOddBytes) {
  std::string nul("[S]\na=x\0y\n", 10);
  EXPECT_EQ(IniFile(nul).Read("S", "a"), std::string("x\0y", 3));

  const IniFile bom("\xEF\xBB\xBF[S]\na=1\n");
  EXPECT_EQ(Value(bom, "S", "a"), "1");

  const IniFile unclosed("[S\na=1\n");
  EXPECT_EQ(Value(unclosed, "S", "a"), "1");

  const std::string huge(1 << 20, 'h');
  IniFile big("[S]\n" + huge + "\nk=" + huge + "\n");
  EXPECT_EQ(Value(big, "S", "k").size(), IniFile::kMaxValueBytes);
  ASSERT_TRUE(big.Write("S", "k", "small"));
  EXPECT_EQ(Value(IniFile(big.Text()), "S", "k"), "small");

  IniFile noSections("just text\n=\n]\n");
  EXPECT_FALSE(noSections.Read("S", ""));
  ASSERT_TRUE(noSections.Write("S", "k", "v"));
  EXPECT_EQ(noSections.Text(), "just text\n=\n]\n\n[S]\nk=v\n");
}

}  // namespace
}  // namespace qm
