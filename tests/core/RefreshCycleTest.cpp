// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "MonitorFixture.h"
#include "core/RefreshCycle.h"

namespace qm {
namespace {

using test::MonitorFixture;

class RefreshCycleTest : public MonitorFixture {
 protected:
  RefreshCycleTest() {
    backend.tables.shares = {
        {"IPC$", "", 3}, {"DOCS", "/srv/docs", 0}, {"LASER", "/spool", 1}, {"PUB", "/srv/pub", 0}};
  }
  TreeNode* CurrentUser(const std::string& key) {
    return FindNode(monitor.TreeViewCurrent, nullptr, key);
  }
  TreeNode* FormerUser(const std::string& key) {
    return FindNode(monitor.TreeViewFormer, nullptr, key);
  }
};

TEST_F(RefreshCycleTest, FirstTickWritesCaptionEvenWithNoUsers) {
  Tick();
  EXPECT_EQ(view.caption, "Quillmoor 98 - 0 connection(s)");
  EXPECT_EQ(view.hint, "0 connection(s)");
  EXPECT_EQ(view.tooltip, "0 connection(s) / 0 open file(s)");
  EXPECT_EQ(view.status[1], "Number of current users: 0");
  EXPECT_FALSE(monitor.ProgramStarting);
  Tick();
  EXPECT_EQ(view.captionWrites, 1);  // unchanged counts are not written again
}

TEST_F(RefreshCycleTest, TwoSharesOfOneClientGiveOneUserWithTwoShares) {
  Connect("PC1", "DOCS");
  Connect("PC1", "LASER");
  Connect("PC1", "DOCS");  // a second connection to the same share adds nothing
  Tick();
  ASSERT_EQ(monitor.CurrentUserCount, 1);
  TreeNode* user = CurrentUser("PC1");
  ASSERT_NE(user, nullptr);
  ASSERT_EQ(user->ChildCount(), 2);
  EXPECT_EQ(user->ImageIndex(), kImageUser);
  TreeNode* laser = FindNode(monitor.TreeViewCurrent, user, "LASER");
  ASSERT_NE(laser, nullptr);
  EXPECT_EQ(laser->ImageIndex(), kImagePrintShare);
  EXPECT_FALSE(laser->Data()->DiskShare);
  EXPECT_EQ(FindNode(monitor.TreeViewCurrent, user, "DOCS")->ImageIndex(), kImageDiskShare);
  // Both trees hold the same records.
  EXPECT_EQ(FormerUser("PC1")->Data(), user->Data());
  EXPECT_EQ(view.caption, "Quillmoor 98 - 1 connection(s)");
}

TEST_F(RefreshCycleTest, KeysDifferingInCaseAreTwoUsers) {
  Connect("PC1", "DOCS");
  Connect("pc1", "DOCS");
  Tick();
  EXPECT_EQ(monitor.CurrentUserCount, 2);
  EXPECT_EQ(monitor.FormerUserCount, 2);
}

TEST_F(RefreshCycleTest, OneNameFromTwoAddressesIsTwoUsersWithTheirAddressFromTheStart) {
  backend.tables.connections = {{"DOCS", "PC1", "ann", "10.0.0.1"},
                                {"DOCS", "PC1", "bob", "10.0.0.2"}};
  backend.tables.files = {{"DOCS", "PC1", "bob", "/srv/docs/b.txt", "10.0.0.2"}};
  Tick();
  ASSERT_EQ(monitor.CurrentUserCount, 2);
  UserEntry* ann = monitor.Users.Find(UserKey("PC1", "10.0.0.1"));
  UserEntry* bob = monitor.Users.Find(UserKey("PC1", "10.0.0.2"));
  ASSERT_TRUE(ann && bob);
  EXPECT_EQ(ann->Shares.Find("DOCS")->Files.size(), 0u);
  EXPECT_EQ(bob->Shares.Find("DOCS")->Files.size(), 1u);
  TUser* first = ann->User();
  backend.tables.connections.erase(backend.tables.connections.begin());
  Tick();
  EXPECT_FALSE(first->IsOpen());
  EXPECT_EQ(first->IPAddress, "10.0.0.1");
  EXPECT_EQ(monitor.TreeViewCurrent.TopLevelCount(), 1);
  EXPECT_EQ(monitor.TreeViewCurrent.TopLevel(0)->Data(), bob->User());
}

TEST_F(RefreshCycleTest, EnterStatusIsProgramStartedOnlyInTheFirstTick) {
  Connect("EARLY", "DOCS");
  Tick();
  Connect("LATE", "DOCS");
  Tick();
  EXPECT_EQ(CurrentUser("EARLY")->Data()->EnterStatus, stProgramStarted);
  EXPECT_EQ(CurrentUser("EARLY")->Child(0)->Data()->EnterStatus, stProgramStarted);
  EXPECT_EQ(CurrentUser("LATE")->Data()->EnterStatus, stLoggedOn);
  EXPECT_EQ(view.sounds, 2);  // both raise the alert
}

TEST_F(RefreshCycleTest, ProgramStartingEndsWithTheFirstTickThatReadTheServer) {
  Connect("EARLY", "DOCS");
  for (const NetStatus status : {NERR_ServerNotStarted, kServerStateUnreadable, NERR_Success}) {
    backend.failures = {{ServerCall::NetShareEnum, status}};
    Tick();
    EXPECT_EQ(monitor.ProgramStarting, status != NERR_Success);
  }
  EXPECT_EQ(CurrentUser("EARLY")->Data()->EnterStatus, stProgramStarted);
}

TEST_F(RefreshCycleTest, AlertsFollowTheSettings) {
  settings.Siren = false;
  settings.Popup = true;
  Connect("PC1", "DOCS");
  Tick();
  EXPECT_EQ(view.sounds, 0);
  EXPECT_EQ(view.popups, 1);
  EXPECT_EQ(view.notifications, std::vector<std::string>{"PC1 DOCS"});
  settings.Notify = false;
  Connect("PC2", "DOCS");
  Tick();
  EXPECT_EQ(view.notifications.size(), 1u);
  ASSERT_EQ(view.icons.size(), 1u);
  EXPECT_TRUE(view.icons[0]);
}

TEST_F(RefreshCycleTest, DepartureEndsTheRecordAndKeepsItInTheFormerTree) {
  Connect("PC1", "DOCS");
  Open("PC1", "DOCS", "/srv/docs/a.odt");
  Tick();
  auto* user = dynamic_cast<TUser*>(CurrentUser("PC1")->Data());
  clock.AdvanceSeconds(60);
  Leave("PC1");
  Tick();
  EXPECT_EQ(CurrentUser("PC1"), nullptr);
  EXPECT_EQ(monitor.CurrentUserCount, 0);
  EXPECT_EQ(monitor.Users.size(), 0u);
  TreeNode* former = FormerUser("PC1");
  ASSERT_EQ(former->Data(), user);
  EXPECT_EQ(user->ExitTime, clock.Now());
  EXPECT_EQ(user->ExitStatus, stLoggedOff);
  EXPECT_EQ(former->Child(0)->Child(0)->Data()->ExitTime, clock.Now());
  // Never resolved: the placeholders become "Not known".
  EXPECT_EQ(user->IPAddress, kNotKnown);
  EXPECT_EQ(user->HostName, kNotKnown);
  EXPECT_EQ(user->UserName, "u");  // the NT family knows the account from the connection
  EXPECT_EQ(view.icons.back(), false);
}

TEST_F(RefreshCycleTest, AShareOrFileThatGoesIsEndedWhileTheUserStays) {
  Connect("PC1", "DOCS");
  Connect("PC1", "PUB");
  Open("PC1", "DOCS", "/srv/docs/a.odt");
  Tick();
  backend.tables.files.clear();
  backend.tables.connections.erase(backend.tables.connections.begin() + 1);
  Tick();
  TreeNode* user = CurrentUser("PC1");
  ASSERT_NE(user, nullptr);
  ASSERT_EQ(user->ChildCount(), 1);
  EXPECT_EQ(user->Child(0)->ChildCount(), 0);
  TreeNode* former = FormerUser("PC1");
  ASSERT_EQ(former->ChildCount(), 2);
  EXPECT_NE(FindNode(monitor.TreeViewFormer, former, "PUB")->Data()->ExitTime, 0);
  EXPECT_EQ(user->Data()->ExitTime, 0);
}

TEST_F(RefreshCycleTest, FilesRefreshActivityAndAreCounted) {
  Connect("PC1", "DOCS", "alice");
  Open("PC1", "DOCS", "/srv/docs/a.odt", "alice");
  Open("PC1", "DOCS", "/srv/docs/b.odt", "alice");
  Open("PC2", "PUB", "/srv/pub/x", "carol");  // a user not connected: counted, not shown
  Tick();
  EXPECT_EQ(monitor.OpenFileCount, 2);
  auto* user = CurrentUser("PC1")->Data();
  clock.AdvanceSeconds(300);
  Tick();
  EXPECT_EQ(user->LastActivity, clock.Now());
  EXPECT_EQ(view.tooltip, "1 connection(s) / 2 open file(s)");
  TreeNode* share = CurrentUser("PC1")->Child(0);
  ASSERT_EQ(share->ChildCount(), 2);
  EXPECT_EQ(share->Child(0)->ImageIndex(), kImageFile);
}

TEST_F(RefreshCycleTest, FileOfAClientWithTwoConnectionsToTheShareIsCountedOnce) {
  Connect("PC1", "DOCS");
  Connect("PC1", "DOCS");
  Open("PC1", "DOCS", "/srv/docs/a.odt");
  Open("PC1", "DOCS", "/srv/docs/b.odt");
  for (const char* third : {"/srv/docs/b.odt", "/srv/docs/b.odt", "/srv/docs/c.odt"}) {
    backend.tables.files.back().path = third;
    Tick();
    EXPECT_EQ(monitor.OpenFileCount, 2);
    EXPECT_EQ(CurrentUser("PC1")->Child(0)->ChildCount(), 2);
  }
}

TEST_F(RefreshCycleTest, EachFileIsListedOnlyUnderTheClientAndShareHoldingIt) {
  backend.tables.shares.push_back({"DOCSX", "/srv/docsx", 0});  // a path DOCS's is a prefix of
  Connect("PC1", "DOCS", "alice");
  Connect("PC2", "DOCS", "alice");
  Connect("PC2", "DOCSX", "alice");
  Open("PC1", "DOCS", "/srv/docs/a.odt", "alice");
  Open("PC2", "DOCSX", "/srv/docsx/b.odt", "alice");
  Open("PC2", "", "/srv/docs/c.odt", "alice");  // the share unknown: its path decides
  Tick();
  EXPECT_EQ(monitor.OpenFileCount, 3);
  auto files = [&](const std::string& client, const std::string& share) {
    TreeNode* s = FindNode(monitor.TreeViewCurrent, CurrentUser(client), share);
    std::vector<std::string> names;
    for (int i = 0; s && i < s->ChildCount(); ++i) names.push_back(s->Child(i)->Text());
    return names;
  };
  EXPECT_EQ(files("PC1", "DOCS"), std::vector<std::string>{"/srv/docs/a.odt"});
  EXPECT_EQ(files("PC2", "DOCS"), std::vector<std::string>{"/srv/docs/c.odt"});
  EXPECT_EQ(files("PC2", "DOCSX"), std::vector<std::string>{"/srv/docsx/b.odt"});
}

TEST_F(RefreshCycleTest, FilesListedInAnotherOrderOrAfterAGapAreStillTheSameFiles) {
  Connect("PC1", "DOCS");
  for (const char* f : {"/srv/docs/a", "/srv/docs/b", "/srv/docs/c"}) Open("PC1", "DOCS", f);
  Tick();
  TreeNode* share = CurrentUser("PC1")->Child(0);
  const TTreeNodeCustom* b = FindNode(monitor.TreeViewCurrent, share, "/srv/docs/b")->Data();
  auto& files = backend.tables.files;
  std::swap(files[0], files[2]);
  files.erase(files.begin() + 1);  // b goes; c and a change places
  Tick();
  EXPECT_EQ(share->ChildCount(), 2);
  EXPECT_NE(b->ExitTime, 0);
  backend.failures[ServerCall::NetShareEnum] = kServerStateUnreadable;
  Tick();
  backend.failures.clear();
  Open("PC1", "DOCS", "/srv/docs/b");
  Tick();
  ASSERT_EQ(share->ChildCount(), 3);
  EXPECT_NE(FindNode(monitor.TreeViewCurrent, share, "/srv/docs/b")->Data(), b);  // a new visit
  EXPECT_EQ(monitor.OpenFileCount, 3);
}

// Each step changes the listing in one way against the round before: a
// file that stays keeps its visit, a file that goes is ended, at any place.
TEST_F(RefreshCycleTest, FilesThatStayKeepTheirVisitWhateverChangesAroundThem) {
  Connect("PC1", "DOCS");
  Connect("PC2", "DOCS");
  Open("PC2", "DOCS", "/srv/docs/other");
  auto& files = backend.tables.files;
  auto step = [&](std::vector<std::string> names) {
    std::erase_if(files, [](const auto& f) { return f.client == "PC1"; });
    for (const std::string& n : names) Open("PC1", "DOCS", n);
    clock.AdvanceSeconds(1);
    Tick();
    TreeNode* share = FindNode(monitor.TreeViewCurrent, CurrentUser("PC1"), "DOCS");
    std::map<std::string, const TTreeNodeCustom*> shown;
    for (int i = 0; share && i < share->ChildCount(); ++i) {
      shown[share->Child(i)->Text()] = share->Child(i)->Data();
    }
    return shown;
  };
  auto first = step({"/srv/docs/a", "/srv/docs/b", "/srv/docs/c"});
  EXPECT_EQ(step({"/srv/docs/a", "/srv/docs/b", "/srv/docs/c"}), first);
  auto shown = step({"/srv/docs/a", "/srv/docs/b"});  // the last goes
  EXPECT_EQ(shown.size(), 2u);
  EXPECT_NE(first["/srv/docs/c"]->ExitTime, 0);
  shown = step({"/srv/docs/a", "/srv/docs/b", "/srv/docs/d"});  // one comes at the end
  EXPECT_EQ(shown["/srv/docs/a"], first["/srv/docs/a"]);
  EXPECT_EQ(shown["/srv/docs/b"], first["/srv/docs/b"]);
  const auto* d = shown["/srv/docs/d"];
  shown = step({"/srv/docs/\u00e9t\u00e9", "/srv/docs/b", "/srv/docs/d"});  // the first replaced
  EXPECT_EQ(shown.size(), 3u);
  EXPECT_NE(first["/srv/docs/a"]->ExitTime, 0);
  EXPECT_EQ(shown["/srv/docs/b"], first["/srv/docs/b"]);
  EXPECT_EQ(shown["/srv/docs/d"], d);
  EXPECT_EQ(step({"/srv/docs/\u00e9t\u00e9", "/srv/docs/b", "/srv/docs/d"}), shown);
  EXPECT_EQ(shown["/srv/docs/b"]->ExitTime, 0);
  // The two clients change places in the server's order: each keeps its own.
  std::swap(backend.tables.connections[0], backend.tables.connections[1]);
  EXPECT_EQ(step({"/srv/docs/b"}).size(), 1u);
  TreeNode* other = FindNode(monitor.TreeViewCurrent, CurrentUser("PC2"), "DOCS");
  ASSERT_EQ(other->ChildCount(), 1);
  EXPECT_EQ(other->Child(0)->Text(), "/srv/docs/other");
  EXPECT_EQ(monitor.OpenFileCount, 2);
}

// A share that ends while its user stays, and comes back (its new entry
// perhaps where the old one lay), lists its files afresh.
TEST_F(RefreshCycleTest, AShareThatGoesAndComesBackListsItsFilesAfresh) {
  Connect("PC1", "PUB");
  Connect("PC1", "DOCS");
  Open("PC1", "DOCS", "/srv/docs/a");
  Tick();
  Tick();  // listed name for name as the round before
  auto& connections = backend.tables.connections;
  std::erase_if(connections, [](const auto& c) { return c.share == "DOCS"; });
  Tick();
  EXPECT_EQ(CurrentUser("PC1")->ChildCount(), 1);
  Connect("PC1", "DOCS");
  for (int i = 0; i < 2; ++i) {
    Tick();
    TreeNode* docs = FindNode(monitor.TreeViewCurrent, CurrentUser("PC1"), "DOCS");
    ASSERT_NE(docs, nullptr);
    ASSERT_EQ(docs->ChildCount(), 1);
    EXPECT_EQ(docs->Child(0)->Data()->ExitTime, 0);
    EXPECT_EQ(monitor.OpenFileCount, 1);
  }
}

TEST_F(RefreshCycleTest, IpcShareFollowsTheSetting) {
  Connect("PC1", "IPC$");
  Tick();
  EXPECT_EQ(monitor.CurrentUserCount, 1);
  settings.IPC = false;
  Tick();
  EXPECT_EQ(monitor.CurrentUserCount, 0);  // a listed one ends at the next tick
  backend.tables.shares[0].name = "ipc$";
  Tick();
  EXPECT_EQ(monitor.CurrentUserCount, 1);  // lower case is an ordinary share
}

TEST_F(RefreshCycleTest, ServerStoppedEndsEveryUserSilently) {
  Connect("PC1", "DOCS");
  Tick();
  backend.failures[ServerCall::NetShareEnum] = NERR_ServerNotStarted;
  Tick();
  EXPECT_EQ(monitor.CurrentUserCount, 0);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_FALSE(view.terminateRequested);
}

TEST_F(RefreshCycleTest, UnreadableStateChangesNothing) {
  settings.Idle = 1;
  Connect("PC1", "DOCS");
  Open("PC1", "DOCS", "/srv/docs/a.odt");
  Tick();
  EXPECT_TRUE(monitor.ServerStateRead);
  TTreeNodeCustom* user = CurrentUser("PC1")->Data();
  backend.failures[ServerCall::NetShareEnum] = kServerStateUnreadable;
  for (int i = 0; i < 3; ++i) {
    clock.AdvanceSeconds(60);
    Tick();
  }
  EXPECT_FALSE(monitor.ServerStateRead);
  EXPECT_EQ(monitor.CurrentUserCount, 1);
  EXPECT_EQ(monitor.OpenFileCount, 1);
  EXPECT_EQ(CurrentUser("PC1")->Data(), user);
  EXPECT_EQ(user->ExitTime, 0);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_FALSE(view.terminateRequested);
  backend.failures.clear();
  Tick();
  EXPECT_TRUE(monitor.ServerStateRead);
  EXPECT_EQ(CurrentUser("PC1")->Data(), user);  // the same visit goes on
}

TEST_F(RefreshCycleTest, AccessDeniedAndOtherFailuresEndTheProgram) {
  backend.failures[ServerCall::NetShareEnum] = ERROR_ACCESS_DENIED;
  Tick();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0], "info: You don't have the necessary rights to execute this program");
  EXPECT_TRUE(view.timerStopped);
  EXPECT_TRUE(view.terminateRequested);
  backend.failures[ServerCall::NetShareEnum] = 53;
  Tick();
  EXPECT_EQ(messages.shown.back(), "error: Debug: SharesInit -53");
  EXPECT_TRUE(monitor.EndedByFailure);
}

TEST_F(RefreshCycleTest, ATickThatEndsTheProgramEndsNobodysVisit) {
  Connect("PC1", "DOCS");
  Tick();
  for (const auto& [call, status] : {std::pair{ServerCall::NetShareEnum, 1234u},
                                     {ServerCall::NetShareEnum, 5u},
                                     {ServerCall::NetConnectionEnum, 71u}}) {
    backend.failures = {{call, status}};
    monitor.EndedByFailure = false;
    Tick();
    EXPECT_TRUE(monitor.EndedByFailure);
    EXPECT_EQ(CurrentUser("PC1")->Data()->ExitTime, 0) << status;  // PC1 did not leave
  }
}

TEST_F(RefreshCycleTest, AStopHalfWayThroughATickLeavesTheRestUnreadAndEndsNobody) {
  Connect("PC1", "DOCS");
  Connect("PC2", "DOCS");
  Tick();
  Leave("PC2");
  Connect("PC3", "DOCS");
  Connect("PC4", "DOCS");
  view.stopAt = 2;  // the tick's own check, PC1's, then PC3's
  Tick();
  EXPECT_EQ(monitor.CurrentUserCount, 2);
  EXPECT_EQ(CurrentUser("PC3"), nullptr);
  // Whether PC2 left is not known from half a round: the closing save says.
  EXPECT_EQ(CurrentUser("PC2")->Data()->ExitTime, 0);
}

TEST_F(RefreshCycleTest, AStopIsSeenInsideAConnectionOfThousandsOfFiles) {
  Connect("PC1", "DOCS");
  for (int i = 0; i < 5000; ++i) Open("PC1", "DOCS", "/srv/docs/f" + std::to_string(i));
  view.stopAt = 2;  // the tick's, PC1's, then the one after its 1,024th file
  Tick();
  const TreeNode* share = CurrentUser("PC1")->Child(0);
  EXPECT_EQ(share->ChildCount(), 1023);
  EXPECT_EQ(share->Data()->ExitTime, 0);
}

TEST_F(RefreshCycleTest, VanishedShareIsSilentOtherConnectionFailureIsFatal) {
  backend.failures[ServerCall::NetConnectionEnum] = NERR_NetNameNotFound;
  Tick();
  EXPECT_TRUE(messages.shown.empty());
  backend.failures[ServerCall::NetConnectionEnum] = 71;
  Tick();
  EXPECT_EQ(messages.shown.back(), "error: Debug: ConnectionsInit -71");
  EXPECT_TRUE(view.terminateRequested);
}

TEST_F(RefreshCycleTest, FileEnumerationFailureOnNtListsNoFilesForThatConnection) {
  Connect("PC1", "DOCS");
  Open("PC1", "DOCS", "/srv/docs/a.odt");
  backend.failures[ServerCall::NetFileEnum] = ERROR_ACCESS_DENIED;
  Tick();
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(CurrentUser("PC1")->Child(0)->ChildCount(), 0);
}

TEST_F(RefreshCycleTest, NestedTickReturnsAtOnce) {
  monitor.RefreshBusy = true;
  Connect("PC1", "DOCS");
  Tick();
  EXPECT_EQ(monitor.CurrentUserCount, 0);
  EXPECT_TRUE(monitor.ProgramStarting);  // not cleared by a tick that did nothing
}

class ThrowingRules : public TickRules {
 public:
  void KickLastUser() override { throw std::runtime_error("boom"); }
};

TEST_F(RefreshCycleTest, TickThatThrowsStillClearsBusy) {
  ThrowingRules rules;
  monitor.SetRules(&rules);
  settings.MaxNumber = 1;
  Connect("PC1", "DOCS");
  Connect("PC2", "DOCS");
  EXPECT_THROW(Tick(), std::runtime_error);
  EXPECT_FALSE(monitor.RefreshBusy);
  monitor.SetRules(nullptr);
  Tick();  // ticks go on
  EXPECT_EQ(monitor.CurrentUserCount, 2);
}

class CountingRules : public TickRules {
 public:
  KickStatus WhoToKick() const override { return who; }
  void ProgramWatch() override { calls += "W"; }
  void KickLastUser() override { calls += "L"; }
  void KickAllUsers() override { calls += "A"; }
  void KickListIdle() override { calls += "I"; }
  KickStatus who = KickNobody;
  std::string calls;
};

TEST_F(RefreshCycleTest, DisconnectRulesRunInOrderAndOnlyWithUsers) {
  CountingRules rules;
  monitor.SetRules(&rules);
  settings.Idle = 0;
  settings.MaxNumber = 3;
  Tick();
  EXPECT_EQ(rules.calls, "");  // nobody connected: no rule
  for (const char* c : {"A", "B", "C", "D"}) Connect(c, "DOCS");
  Tick();
  EXPECT_EQ(rules.calls, "L");  // 4 > 3; KickNobody, Idle 0, no filter: nothing more
  rules.calls.clear();
  settings.MaxNumber = 0;
  settings.Quake = true;
  rules.who = KickAll;
  Tick();
  EXPECT_EQ(rules.calls, "WA");
  rules.calls.clear();
  rules.who = KickList;
  Tick();
  EXPECT_EQ(rules.calls, "WI");
  rules.calls.clear();
  rules.who = KickNobody;
  settings.Quake = false;
  settings.IPFilter = true;
  Tick();
  EXPECT_EQ(rules.calls, "I");
}

TEST_F(RefreshCycleTest, LiveInfoPanelSelectsFirstUserWhileShown) {
  Connect("PC1", "DOCS");
  view.shown = true;
  Tick();
  ASSERT_NE(monitor.TreeViewCurrent.Selected(), nullptr);
  EXPECT_EQ(monitor.TreeViewCurrent.Selected()->Text(), "PC1");
  EXPECT_EQ(monitor.Label(CoCuLabel), "00:00:00");
  clock.AdvanceSeconds(3725);
  Tick();
  EXPECT_EQ(monitor.Label(CoCuLabel), "01:02:05");
  EXPECT_EQ(monitor.Label(IPCuLabel), kNotKnownYet);
}

TEST_F(RefreshCycleTest, FormerPageUpdatesConnectedTimeOfAnOpenRecordOnly) {
  Connect("PC1", "DOCS");
  Tick();
  view.shown = true;
  view.currentPage = false;
  monitor.TreeViewFormer.Select(FormerUser("PC1"));
  monitor.ShowInfo(monitor.TreeViewFormer);
  EXPECT_EQ(monitor.Label(ExTiFoLabel), "?");
  clock.AdvanceSeconds(10);
  Tick();
  EXPECT_EQ(monitor.Label(CoTiFoLabel), "00:00:10");
  Leave("PC1");
  Tick();  // the sweep refreshes the panel: the record has ended
  EXPECT_NE(monitor.Label(ExTiFoLabel), "?");
  EXPECT_EQ(monitor.Label(ExStFoLabel), "Logged off");
}

TEST_F(RefreshCycleTest, ReturningUserGetsANewFormerNode) {
  Connect("PC1", "DOCS");
  Tick();
  Leave("PC1");
  Tick();
  Connect("PC1", "DOCS");
  Tick();
  EXPECT_EQ(monitor.FormerUserCount, 2);
  EXPECT_EQ(monitor.TreeViewFormer.TopLevelCount(), 2);
  // The open visit is the last node of the name and shares the record.
  EXPECT_EQ(FormerUser("PC1")->Data(), CurrentUser("PC1")->Data());
  EXPECT_EQ(FormerUser("PC1")->Row(), 1);
}

TEST_F(RefreshCycleTest, ShutdownSweepEndsEverythingAsProgramExited) {
  Connect("PC1", "DOCS");
  Open("PC1", "DOCS", "/srv/docs/a.odt");
  Tick();
  ClearSeenFlags(monitor.Users);
  monitor.SweepUsers(true);
  EXPECT_EQ(monitor.CurrentUserCount, 0);
  TreeNode* former = FormerUser("PC1");
  EXPECT_EQ(former->Data()->ExitStatus, stProgramExited);
  EXPECT_EQ(former->Child(0)->Data()->ExitStatus, stProgramExited);
  EXPECT_EQ(former->Child(0)->Child(0)->Data()->ExitStatus, stProgramExited);
  EXPECT_TRUE(monitor.TreeViewCurrent.Empty());
}

class RefreshCycle95Test : public MonitorFixture {
 protected:
  RefreshCycle95Test() : MonitorFixture(true) {
    backend.tables.shares = {{"DOCS", "C:\\DOCS", 0}, {"LASER", "", 1}};
  }
};

TEST_F(RefreshCycle95Test, FilesComeFromOneListMatchedByClientAndShare) {
  Connect("PC1", "DOCS");
  Open("PC1", "DOCS", "C:\\DOCS\\A.TXT");
  Open("PC1", "LASER", "X");  // a share the user has not: ignored
  Open("PC9", "DOCS", "Y");   // an unknown user: ignored
  Tick();
  TreeNode* user = FindNode(monitor.TreeViewCurrent, nullptr, "PC1");
  ASSERT_NE(user, nullptr);
  ASSERT_EQ(user->Child(0)->ChildCount(), 1);
  EXPECT_EQ(user->Child(0)->Child(0)->Text(), "C:\\DOCS\\A.TXT");
  EXPECT_EQ(monitor.OpenFileCount, 3);
  EXPECT_EQ(dynamic_cast<TUser*>(user->Data())->UserName, kNotKnownYet);
}

}  // namespace
}  // namespace qm
