// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/DateTime.h"
#include "core/OwningConnectionTree.h"
#include "core/Resources.h"
#include "core/Text.h"
#include "support/ScopedVariable.h"

namespace qm {
namespace {

TEST(StatusTextTest, LooksAtTheLowSevenBitsOnly) {
  EXPECT_EQ(StatusText(0), "Kicked");
  EXPECT_EQ(StatusText(4), "Program exitted");
  EXPECT_EQ(StatusText(0x81), "Logged off");
  EXPECT_EQ(StatusText(5), "");
  EXPECT_EQ(StatusText(0xFF), "");
}

TEST(RecordTest, NewRecordsFollowProgramStarting) {
  TShare early("S", true, 100.5);
  EXPECT_EQ(early.EnterStatus, stProgramStarted);
  EXPECT_EQ(early.ExitStatus, stLoggedOff);
  EXPECT_EQ(early.EnterTime, 100.5);
  EXPECT_EQ(early.LastActivity, 100.5);
  EXPECT_EQ(early.ExitTime, 0);
  EXPECT_TRUE(early.DiskShare);
  TUser late("PC", false, 1.0, "alice", true);
  EXPECT_EQ(late.EnterStatus, stLoggedOn);
  EXPECT_EQ(late.UserName, "alice");
  EXPECT_EQ(late.IPAddress, kNotKnownYet);
  TUser on95("PC", false, 1.0, "ignored", false);
  EXPECT_EQ(on95.UserName, kNotKnownYet);
}

TEST(DateTimeTest, TextForms) {
  EXPECT_EQ(DateTimeText(0), "1899-12-30");  // an open connection's exit
  const TDateTime t = 45000.0 + (13 * 3600 + 5 * 60 + 9) / kSecondsPerDay;  // 2023-03-15
  EXPECT_EQ(DateTimeText(t), "2023-03-15 13:05:09");
  EXPECT_EQ(DateTimeText(45000.0), "2023-03-15");  // midnight: no time
  EXPECT_EQ(LongTimeText(t), "13:05:09");
  EXPECT_EQ(ShortDateText(t), "2023-03-15");
}

TEST(DateTimeTest, DiffTimeKeepsWholeHoursAndRefusesABackwardClock) {
  EXPECT_EQ(DiffTime(10.0 + 25.0 / 24, 10.0), "25:00:00");
  EXPECT_EQ(DiffTime(10.0, 10.0), "00:00:00");
  EXPECT_EQ(DiffTime(10.0 + 59.0 / kSecondsPerDay, 10.0), "00:00:59");
  EXPECT_EQ(DiffTime(9.0, 10.0), "Error!");
}

TEST(DateTimeTest, UnixTimeMapsToLocalDays) {
  const test::ScopedTimeZone utc("UTC");
  EXPECT_DOUBLE_EQ(FromUnixTime(0), 25569.0);
  EXPECT_DOUBLE_EQ(FromUnixTime(86400 + 43200), 25570.5);
}

TEST(TextTest, CutNeverSplitsACharacter) {
  EXPECT_EQ(CutUtf8("abc", 5), "abc");
  EXPECT_EQ(CutUtf8("aé", 2), "a");  // é is two bytes
  EXPECT_EQ(CutUtf8("aé", 3), "aé");
  EXPECT_EQ(CutUtf8("😀x", 3), "");
}

TEST(TextTest, TrimsKeepInnerTextAndTheirOwnBytesOnly) {
  EXPECT_EQ(TrimmedBlanks(" \t\ra b\v\f"), "a b");
  EXPECT_EQ(TrimmedBlanks("S\n"), "S\n");  // a line feed is no blank of a line
  EXPECT_EQ(TrimmedBlanks(" \t "), "");
  EXPECT_EQ(TrimmedControls(std::string("\x01 PC1\x7f\0", 7)), "PC1");
  EXPECT_EQ(TrimmedControls("\xc3\xa9"), "\xc3\xa9");  // é: bytes above DEL stay
}

TEST(TextTest, Utf16RoundTripAndInvalidInput) {
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("Zoë 😀")), "Zoë 😀");
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("\xff"
                                    "a")),
            "\xef\xbf\xbd"
            "a");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
}

TEST(TextTest, EscapedTextHidesNothingAndReadsBackOneWay) {
  EXPECT_EQ(EscapedText("Zoë-PC 2"), "Zoë-PC 2");
  EXPECT_EQ(EscapedText(std::string("PC\0hidden", 9)), "PC\\x00hidden");
  EXPECT_EQ(EscapedText("a\r\n\x7f\xc2\x85\xff\\"), "a\\x0D\\x0A\\x7F\\xC2\\x85\\xFF\\\\");
  // Shown as "PCexe.png" raw: the override and its kin are made visible.
  EXPECT_EQ(EscapedText("PC\u202Egnp.exe"), "PC\\u202Egnp.exe");
  EXPECT_EQ(EscapedText("\u2028\u2029\u2066\u2069\u200F\u061C"),
            "\\u2028\\u2029\\u2066\\u2069\\u200F\\u061C");
  EXPECT_EQ(EscapedText("\u2027\u202F\u2065"), "\u2027\u202F\u2065");  // neighbours stay
}

TEST(TextTest, ZeroBytesSurviveAPlatformStringAndComeBack) {
  const std::string name("PC\0hidden", 9);
  EXPECT_EQ(EscapeZeroBytes(name), "PC\\x00hidden");
  EXPECT_EQ(RestoreZeroBytes(EscapeZeroBytes(name)), name);
  EXPECT_EQ(RestoreZeroBytes("PC"), "PC");
}

TEST(TextTest, CaseRulesTouchOnlyAtoZ) {
  EXPECT_EQ(AsciiUpper("c:\\games\\x.exe é"), "C:\\GAMES\\X.EXE é");
  EXPECT_TRUE(SameTextAsciiNoCase("Pc1", "pC1"));
  EXPECT_FALSE(SameTextAsciiNoCase("PC1", "PC1 "));
}

class TreeTest : public ::testing::Test {
 protected:
  OwningConnectionTree tree;
  TreeNode* AddUser(const std::string& name) {
    return tree.AddOwned(nullptr, name, std::make_unique<TUser>(name, false, 1.0, "", true));
  }
  TreeNode* AddShare(TreeNode* parent, const std::string& name) {
    return tree.AddOwned(parent, name, std::make_unique<TShare>(name, false, 1.0));
  }
};

TEST_F(TreeTest, FindNodeTakesTheLastMatch) {
  TreeNode* first = AddUser("PC1");
  AddUser("PC2");
  TreeNode* second = AddUser("PC1");
  EXPECT_EQ(FindNode(tree, nullptr, "PC1"), second);
  TreeNode* s1 = AddShare(first, "A");
  TreeNode* s2 = AddShare(first, "A");
  EXPECT_EQ(FindNode(tree, first, "A"), s2);
  EXPECT_EQ(FindNode(tree, first, "a"), nullptr);
  tree.Delete(second);
  EXPECT_EQ(FindNode(tree, nullptr, "PC1"), first);
  tree.Delete(s2);
  EXPECT_EQ(FindNode(tree, first, "A"), s1);
  EXPECT_EQ(tree.Count(), 3);
}

TEST_F(TreeTest, FindNodeInALargeFamilyFollowsAddsAndDeletes) {
  TreeNode* user = AddUser("PC1");
  TreeNode* share = AddShare(user, "A");
  std::vector<TreeNode*> files;
  auto lastNamed = [&](const std::string& text) -> TreeNode* {
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
      if ((*it)->Text() == text) return *it;
    }
    return nullptr;
  };
  std::mt19937 rng(5);
  for (int step = 0; step < 400; ++step) {
    // The family grows past the size that is indexed, shrinks and grows.
    const bool add = files.size() < 4 || (step / 100 % 2 == 0 ? rng() % 4 != 0 : rng() % 4 == 0);
    const std::string text = "f" + std::to_string(rng() % 12);
    if (add) {
      files.push_back(AddShare(share, text));
    } else {
      const auto at = files.begin() + static_cast<long>(rng() % files.size());
      tree.Delete(*at);
      files.erase(at);
    }
    ASSERT_EQ(FindNode(tree, share, text), lastNamed(text)) << "step " << step;
    ASSERT_EQ(share->ChildCount(), static_cast<int>(files.size()));
  }
}

// Counts the expansions the views hear of.
struct ExpansionLog : TreeObserver {
  void NodeChanged(TreeNode& node) override { changed.push_back(&node); }
  std::vector<TreeNode*> changed;
};

TEST_F(TreeTest, ExpandAllExpandsExactlyTheFoldedNodesInTreeOrder) {
  ExpansionLog log;
  tree.AddObserver(&log);
  std::mt19937 rng(11);
  for (int round = 0; round < 60; ++round) {
    std::vector<TreeNode*> nodes;
    tree.ForEach([&](TreeNode& n) { nodes.push_back(&n); });
    for (int step = 0; step < 12; ++step) {
      TreeNode* some = nodes.empty() ? nullptr : nodes[rng() % nodes.size()];
      switch (rng() % 5) {
        case 0:
          AddUser("PC" + std::to_string(rng() % 50));
          break;
        case 1:
        case 2:
          if (some && some->Level() < 2) AddShare(some, "S");
          break;
        case 3:
          if (some) tree.SetExpanded(some, rng() % 2 == 0);
          break;
        default:
          if (some && round % 3 == 0) {
            tree.Delete(some);
            nodes.clear();
            tree.ForEach([&](TreeNode& n) { nodes.push_back(&n); });
          }
      }
    }
    std::vector<TreeNode*> folded;
    tree.ForEach([&](TreeNode& n) {
      if (n.ChildCount() > 0 && !n.Expanded()) folded.push_back(&n);
    });
    log.changed.clear();
    tree.ExpandAll();
    ASSERT_EQ(log.changed, folded) << "round " << round;
    tree.ForEach([&](TreeNode& n) { ASSERT_TRUE(n.ChildCount() == 0 || n.Expanded()); });
  }
  tree.RemoveObserver(&log);
}

TEST_F(TreeTest, MarkSubtreeKickedSparesTheNodeItself) {
  TreeNode* user = AddUser("PC1");
  TreeNode* share = AddShare(user, "A");
  TreeNode* file = tree.AddOwned(share, "f", std::make_unique<TFile>("f", false, 1.0));
  MarkSubtreeKicked(user);
  EXPECT_EQ(user->Data()->ExitStatus, stLoggedOff);
  EXPECT_EQ(share->Data()->ExitStatus, stKicked);
  EXPECT_EQ(file->Data()->ExitStatus, stKicked);
}

TEST_F(TreeTest, FreeSubtreeDataKeepsNodesAndTheOwnRecord) {
  TreeNode* user = AddUser("PC1");
  TreeNode* share = AddShare(user, "A");
  tree.FreeSubtreeData(user);
  EXPECT_NE(user->Data(), nullptr);
  EXPECT_EQ(share->Data(), nullptr);
  EXPECT_EQ(user->ChildCount(), 1);
}

TEST_F(TreeTest, RowsStayInStepAfterDeletion) {
  AddUser("A");
  TreeNode* b = AddUser("B");
  TreeNode* c = AddUser("C");
  tree.Select(b);
  tree.Delete(b);
  EXPECT_EQ(c->Row(), 1);
  EXPECT_EQ(tree.Selected(), nullptr);  // a deleted selection is forgotten
}

}  // namespace
}  // namespace qm
