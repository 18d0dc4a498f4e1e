// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include "MonitorFixture.h"
#include "core/HistoryCommands.h"

namespace qm {
namespace {

class HistoryCommandsTest : public test::MonitorFixture {
 protected:
  HistoryCommandsTest() : history(monitor) {
    backend.tables.shares = {{"DOCS", "/srv/docs", 0}, {"PUB", "/srv/pub", 0}};
  }
  TreeNode* Former(int i) { return monitor.TreeViewFormer.TopLevel(i); }
  HistoryCommands history;
};

TEST_F(HistoryCommandsTest, AnOlderVisitGoesTheOpenOneIsRefused) {
  Connect("PC1", "DOCS");
  Tick();
  Leave("PC1");
  clock.AdvanceSeconds(5);
  Tick();
  Connect("PC1", "DOCS");
  Tick();
  ASSERT_EQ(monitor.FormerUserCount, 2);
  EXPECT_FALSE(history.DeleteuserfromconnectionlistClick(Former(1)));
  EXPECT_EQ(messages.shown.back(), "info: You cannot delete an active user");
  view.currentPage = false;
  EXPECT_TRUE(history.DeleteuserfromconnectionlistClick(Former(0)));
  EXPECT_EQ(monitor.FormerUserCount, 1);
  EXPECT_EQ(monitor.TreeViewFormer.Count(), 2);
  EXPECT_EQ(view.status[1], "Number of former users: 1");
}

TEST_F(HistoryCommandsTest, ClearKeepsExactlyTheOpenConnections) {
  Connect("GONE", "DOCS");
  Tick();
  Leave("GONE");
  Connect("PC1", "DOCS");
  Connect("PC1", "PUB");
  Open("PC1", "DOCS", "/srv/docs/a");
  Tick();
  backend.tables.connections.pop_back();  // PUB ends: its former node is history
  Tick();
  TTreeNodeCustom* user = FindNode(monitor.TreeViewCurrent, nullptr, "PC1")->Data();
  messages.confirmAnswer = false;
  EXPECT_FALSE(history.ClearformerconnectionsClick());
  EXPECT_EQ(monitor.FormerUserCount, 2);
  messages.confirmAnswer = true;
  EXPECT_TRUE(history.ClearformerconnectionsClick());
  EXPECT_EQ(messages.shown.back(), "confirm: Are you sure?");
  EXPECT_EQ(monitor.FormerUserCount, 1);
  ASSERT_EQ(monitor.TreeViewFormer.TopLevelCount(), 1);
  TreeNode* copy = Former(0);
  EXPECT_EQ(copy->Data(), user);  // the same record object
  ASSERT_EQ(copy->ChildCount(), 1);
  EXPECT_EQ(copy->Child(0)->Text(), "DOCS");
  EXPECT_EQ(copy->Child(0)->Child(0)->Text(), "/srv/docs/a");
  EXPECT_EQ(monitor.TreeViewFormer.Selected(), copy);
  // The records still work for the monitor: the user leaves as usual.
  Leave("PC1");
  Tick();
  EXPECT_NE(copy->Data()->ExitTime, 0);
}

TEST_F(HistoryCommandsTest, CollapseClosesEveryFormerNode) {
  Connect("PC1", "DOCS");
  Open("PC1", "DOCS", "/srv/docs/a");
  Tick();
  EXPECT_TRUE(Former(0)->Expanded());  // made visible on arrival
  history.CollapseformerconnectionsClick();
  EXPECT_FALSE(Former(0)->Expanded());
  EXPECT_FALSE(Former(0)->Child(0)->Expanded());
}

}  // namespace
}  // namespace qm
