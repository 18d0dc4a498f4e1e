// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "EnforceFixture.h"
#include "enforce/ProgramList.h"

namespace qm::test {
namespace {

using Lines = PackedTexts;

TEST(ProgramList, AddFlowUpperCasesAndRefusesAnyCaseDuplicate) {
  ProgramList list;
  RecordingMessages messages;
  EXPECT_TRUE(list.AddProgram(messages, "/opt/Games/x.bin"));
  EXPECT_EQ(list.Entries(), Lines{"/OPT/GAMES/X.BIN"});
  EXPECT_FALSE(list.AddProgram(messages, "/OPT/games/X.BIN"));
  EXPECT_EQ(messages.information, std::vector<std::string>{"Program already in programlist!"});
  EXPECT_FALSE(list.AddProgram(messages, ""));
  // The blanks at the ends are no part of the name.
  EXPECT_FALSE(list.AddProgram(messages, " /opt/games/x.bin\t"));
  EXPECT_FALSE(list.AddProgram(messages, " \t "));
  EXPECT_EQ(messages.information.size(), 2u);
  EXPECT_EQ(list.Count(), 1u);
}

TEST(ProgramList, ContainsProgramComparesWholeTextIgnoringCase) {
  ProgramList list;
  list.Add("/usr/bin/game");
  EXPECT_TRUE(list.ContainsProgram("/USR/BIN/GAME"));
  EXPECT_FALSE(list.ContainsProgram("/USR/BIN/GAM"));
  EXPECT_FALSE(list.ContainsProgram("/USR/BIN/GAME2"));
  EXPECT_FALSE(list.ContainsProgram("GAME"));
}

TEST(ProgramList, EntriesStaySortedWhateverTheOrderOfAdding) {
  ProgramList a, b;
  const std::vector<std::string> items = {"/Z", "/A", "/M", "/a", "/B"};
  for (const auto& s : items) a.Add(s);
  for (auto it = items.rbegin(); it != items.rend(); ++it) b.Add(*it);
  EXPECT_EQ(a.Entries(), b.Entries());
  for (std::size_t i = 1; i < a.Count(); ++i) EXPECT_FALSE(a.Before(i, i - 1)) << i;
  // Case is told apart: both spellings are kept.
  EXPECT_EQ(a.Count(), 5u);
}

TEST(ProgramList, RestoreBringsBackEntriesAfterClearAndRemove) {
  ProgramList list;
  list.Add("/B");
  list.Add("/A");
  int changes = 0;
  list.SetOnChanged([&] { ++changes; });
  const auto snapshot = list.Snapshot();
  list.Remove(0);
  list.Remove(5);
  list.Clear();
  list.Restore(snapshot);
  EXPECT_EQ(list.Entries(), (Lines{"/A", "/B"}));
  EXPECT_EQ(changes, 3);  // the view fetches icons again after each
}

}  // namespace
}  // namespace qm::test
