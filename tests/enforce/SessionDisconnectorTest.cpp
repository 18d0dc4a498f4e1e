// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "EnforceFixture.h"
#include "enforce/SessionDisconnector.h"

namespace qm::test {
namespace {

class SessionDisconnectorTest : public ::testing::Test {
 protected:
  EnforceWorld w;
};

std::string Name(int i) {
  return "PC" + std::to_string(i);
}

// ---- maximum number of users ----

TEST_F(SessionDisconnectorTest, MaxNumberEqualToUsersDisconnectsNobody) {
  w.settings.MaxNumber = 10;
  for (int i = 1; i <= 10; ++i) w.Connect(Name(i));
  w.Tick();
  w.Tick();
  EXPECT_EQ(w.monitor.CurrentUserCount, 10);
  EXPECT_TRUE(w.backend.deletions.empty());
}

TEST_F(SessionDisconnectorTest, MaxNumberTakesNewestUserOnePerTick) {
  w.settings.MaxNumber = 10;
  for (int i = 1; i <= 12; ++i) w.Connect(Name(i));
  w.Tick();
  ASSERT_EQ(w.backend.deletions.size(), 1u);
  EXPECT_EQ(w.backend.deletions[0].client, "\\\\PC12");
  EXPECT_EQ(w.User("PC12")->ExitStatus, stKicked);
  EXPECT_EQ(w.User("PC11")->ExitStatus, stLoggedOff);

  w.Tick();  // PC12 is gone; PC11 is now the newest of 11
  ASSERT_EQ(w.backend.deletions.size(), 2u);
  EXPECT_EQ(w.backend.deletions[1].client, "\\\\PC11");
  EXPECT_EQ(w.Former("PC12")->ExitStatus, stKicked);

  w.Tick();
  w.Tick();
  EXPECT_EQ(w.monitor.CurrentUserCount, 10);
  EXPECT_EQ(w.backend.deletions.size(), 2u);
  EXPECT_TRUE(w.HasSession("PC10"));
}

TEST_F(SessionDisconnectorTest, RefusedDeletionMarksNothingIsSaidOnceAndIsTriedAgain) {
  w.settings.MaxNumber = 1;
  w.Connect("A");
  w.Connect("B");
  w.backend.failures[ServerCall::NetSessionDel] = ERROR_ACCESS_DENIED;
  w.Tick();
  w.Tick();
  ASSERT_EQ(w.backend.deletions.size(), 2u);
  EXPECT_EQ(w.backend.deletions[1].client, "\\\\B");
  EXPECT_EQ(w.monitor.CurrentUserCount, 2);
  EXPECT_EQ(w.User("B")->ExitStatus, stLoggedOff);  // nothing happened to B
  EXPECT_EQ(w.view.notices,
            std::vector<std::string>{"Cannot disconnect B: access denied (status 5)"});
  // Once the server lets it, B goes as "Kicked".
  w.backend.failures.clear();
  w.Tick();
  w.Tick();
  EXPECT_EQ(w.Former("B")->ExitStatus, stKicked);
  EXPECT_EQ(w.view.notices.size(), 1u);
}

TEST_F(SessionDisconnectorTest, MaxNumberZeroNeverDisconnects) {
  for (int i = 1; i <= 30; ++i) w.Connect(Name(i));
  w.Tick();
  EXPECT_TRUE(w.backend.deletions.empty());
}

// ---- idle time ----

TEST_F(SessionDisconnectorTest, IdleExactlyTheLimitStaysAMomentLaterGoes) {
  w.settings.Idle = 10;
  w.Connect("A");
  w.Tick();
  const TDateTime start = w.User("A")->LastActivity;
  w.clock.Set(start + 10.0 * 60.0 / kSecondsPerDay);
  w.Tick();
  EXPECT_TRUE(w.backend.deletions.empty());
  EXPECT_EQ(w.User("A")->ExitStatus, stLoggedOff);

  w.clock.AdvanceSeconds(1);
  w.Tick();
  ASSERT_EQ(w.backend.deletions.size(), 1u);
  EXPECT_EQ(w.Former("A")->ExitStatus, stKicked);
}

TEST_F(SessionDisconnectorTest, IdleTimeFollowsTheSteadyClockNotWallClockSteps) {
  w.settings.Idle = 1;
  w.Connect("A");
  w.Tick();
  w.clock.AdvanceSeconds(35);
  w.clock.StepWallSeconds(3600);  // summer time begins
  w.Tick();
  EXPECT_TRUE(w.backend.deletions.empty());
  w.clock.StepWallSeconds(-7200);  // the clock is set back past the start
  w.clock.AdvanceSeconds(26);
  w.Tick();
  ASSERT_EQ(w.backend.deletions.size(), 1u);  // 61 s have passed
  EXPECT_EQ(w.Former("A")->ExitStatus, stKicked);
}

TEST_F(SessionDisconnectorTest, OpenFileKeepsUserActive) {
  w.settings.Idle = 10;
  w.Connect("A");
  w.OpenFile("A", "DATA", "report.txt");
  w.Tick();
  for (int i = 0; i < 30; ++i) {
    w.clock.AdvanceSeconds(60);
    w.Tick();
  }
  EXPECT_TRUE(w.backend.deletions.empty());
}

TEST(IdleLongerThan, CountsWholeMillisecondsAcrossDateValues) {
  // Far from the epoch the subtraction's rounding would otherwise decide.
  for (TDateTime base : {45000.0, 45000.123456789, 73000.99}) {
    const TDateTime limit = base + 10.0 / (24.0 * 60.0);
    EXPECT_FALSE(SessionDisconnector::IdleLongerThan(limit, base, 10)) << base;
    EXPECT_TRUE(SessionDisconnector::IdleLongerThan(limit + 0.002 / kSecondsPerDay, base, 10))
        << base;
  }
}

// ---- address filter ----

TEST(AddressPassesFilter, PrefixMustEndAtAnAddressBoundary) {
  EXPECT_TRUE(SessionDisconnector::AddressPassesFilter("192.168.1.20", "192.168.1"));
  EXPECT_FALSE(SessionDisconnector::AddressPassesFilter("192.168.10.4", "192.168.1"));
  EXPECT_TRUE(SessionDisconnector::AddressPassesFilter("192.168.10.4", "192.168."));
  EXPECT_FALSE(SessionDisconnector::AddressPassesFilter("192.168.10.4", "192.168.1."));
  EXPECT_TRUE(SessionDisconnector::AddressPassesFilter("192.168.1", "192.168.1"));
  EXPECT_FALSE(SessionDisconnector::AddressPassesFilter("192.168", "192.168.1"));
  EXPECT_FALSE(SessionDisconnector::AddressPassesFilter("10.0.0.1", "192.168.1"));
  EXPECT_TRUE(SessionDisconnector::AddressPassesFilter("anything", ""));
  // IPv6: letters in any case, ":" is a boundary.
  EXPECT_TRUE(SessionDisconnector::AddressPassesFilter("FE80::1", "fe80:"));
  EXPECT_TRUE(SessionDisconnector::AddressPassesFilter("fd00:ab::5", "FD00"));
  EXPECT_FALSE(SessionDisconnector::AddressPassesFilter("fd001::5", "fd00"));
}

// A link-local address is one computer only on its own link.
TEST(AddressPassesFilter, AddressWithAZonePassesOnlyAFilterNamingThatZone) {
  const char* zoned = "fe80::1%eth0";
  for (const char* filter : {"fe80::1%eth0", "fe80::%eth0", "FE80::1%eth0", "%eth0", ""}) {
    EXPECT_TRUE(SessionDisconnector::AddressPassesFilter(zoned, filter)) << filter;
  }
  for (const char* filter : {"fe80::1", "fe80:", "fe80::1%eth1", "fe80::1%eth", "fe80::1%eth0.5"}) {
    EXPECT_FALSE(SessionDisconnector::AddressPassesFilter(zoned, filter)) << filter;
  }
  EXPECT_FALSE(SessionDisconnector::AddressPassesFilter("fe80::1%eth0.5", zoned));
  EXPECT_FALSE(SessionDisconnector::AddressPassesFilter("fe80::12%eth0", zoned));
  EXPECT_FALSE(SessionDisconnector::AddressPassesFilter("fe80::1", zoned));
}

TEST_F(SessionDisconnectorTest, IpFilterDisconnectsAddressesOutsideThePrefix) {
  w.settings.IPFilter = true;
  w.settings.IPFilterString = "192.168.1";
  const std::map<std::string, std::string> address = {{"IN", "192.168.1.20"},
                                                      {"NEAR", "192.168.10.4"},
                                                      {"OUT", "10.0.0.1"},
                                                      {"YET", kNotKnownYet},
                                                      {"GAVEUP", kNotKnown}};
  for (const auto& [name, a] : address) w.Connect(name);
  w.Tick();  // nobody has an address yet: the filter waits
  EXPECT_TRUE(w.backend.deletions.empty());
  for (const auto& [name, a] : address) w.User(name)->IPAddress = a;
  w.Tick();
  EXPECT_TRUE(w.HasSession("IN"));
  EXPECT_TRUE(w.HasSession("YET"));
  EXPECT_FALSE(w.HasSession("NEAR"));
  EXPECT_FALSE(w.HasSession("OUT"));
  EXPECT_FALSE(w.HasSession("GAVEUP"));
  EXPECT_EQ(w.User("OUT")->ExitStatus, stKicked);
  EXPECT_EQ(w.User("IN")->ExitStatus, stLoggedOff);
}

TEST_F(SessionDisconnectorTest, IpFilterWithEmptyTextLetsEveryAddressPass) {
  w.settings.IPFilter = true;
  w.Connect("A");
  w.Tick();
  w.User("A")->IPAddress = "10.1.2.3";
  w.Tick();
  EXPECT_TRUE(w.backend.deletions.empty());
}

// ---- disconnect status ----

TEST_F(SessionDisconnectorTest, NoRuleRunsWithNobodyIdleOffAndFilterOff) {
  w.Connect("A");
  w.Tick();
  w.User("A")->IPAddress = "10.0.0.1";
  w.rules.List().AddEntry("A", "10.0.0.1");
  w.clock.AdvanceSeconds(3600);
  w.Tick();
  EXPECT_TRUE(w.backend.deletions.empty());
}

TEST_F(SessionDisconnectorTest, KickAllDisconnectsEveryListedClientOnly) {
  w.Connect("A");
  w.Connect("B");
  w.Tick();
  // A session the cycle has not taken in (no connection) is left alone.
  w.backend.tables.sessions.push_back({"STRANGER", "x", 9, ""});
  w.rules.Status().SetWhoToKick(KickAll);
  w.Tick();
  EXPECT_FALSE(w.HasSession("A"));
  EXPECT_FALSE(w.HasSession("B"));
  EXPECT_TRUE(w.HasSession("STRANGER"));
  EXPECT_EQ(w.User("A")->ExitStatus, stKicked);
}

TEST_F(SessionDisconnectorTest, KickListMatchesByAddressAndByName) {
  w.Connect("A");
  w.Connect("B");
  w.Tick();
  w.User("A")->IPAddress = "10.0.0.5";
  w.User("B")->IPAddress = "10.0.0.50";
  w.rules.List().AddEntry("SOMEONE", "10.0.0.5");
  w.rules.List().AddEntry("B", "10.0.0.99");
  w.rules.Status().SetWhoToKick(KickList);
  w.Tick();
  EXPECT_FALSE(w.HasSession("A"));
  EXPECT_FALSE(w.HasSession("B"));
}

TEST_F(SessionDisconnectorTest, KickListEntryWithoutAddressTakesOnlyThatComputer) {
  w.Connect("LISTED");
  w.Connect("OTHER");
  w.Connect("GAVEUP");
  w.Tick();
  w.User("GAVEUP")->IPAddress = kNotKnown;
  w.rules.List().AddEntry("listed", kNotKnownYet);
  w.rules.List().AddEntry("NOBODY", kNotKnown);
  w.rules.List().AddEntry("ABSENT", kIDontKnow);
  w.rules.Status().SetWhoToKick(KickList);
  w.Tick();
  EXPECT_FALSE(w.HasSession("LISTED"));
  EXPECT_TRUE(w.HasSession("OTHER"));   // also "Not known yet"
  EXPECT_TRUE(w.HasSession("GAVEUP"));  // also "Not known"
}

// A client chooses its name, not its address: a listed computer that calls
// itself like another is still listed, and ending it leaves the other be.
TEST_F(SessionDisconnectorTest, OneNameFromTwoAddressesIsTwoUsersEndedApart) {
  w.ConnectFrom("127.0.0.1", "127.0.0.1");
  w.ConnectFrom("127.0.0.1", "127.0.0.2");
  w.rules.List().AddEntry("INTRUDER", "127.0.0.2");
  w.rules.Status().SetWhoToKick(KickList);
  w.Tick();
  EXPECT_TRUE(w.HasSessionFrom("127.0.0.1", "127.0.0.1"));
  EXPECT_FALSE(w.HasSessionFrom("127.0.0.1", "127.0.0.2"));
  ASSERT_EQ(w.monitor.TreeViewFormer.TopLevelCount(), 2);
  EXPECT_EQ(w.monitor.TreeViewFormer.TopLevel(0)->Data()->ExitStatus, stLoggedOff);
  EXPECT_EQ(w.monitor.TreeViewFormer.TopLevel(1)->Data()->ExitStatus, stKicked);
}

TEST_F(SessionDisconnectorTest, KickListAlsoAppliesIdleRule) {
  w.settings.Idle = 5;
  w.Connect("A");
  w.Tick();
  w.rules.Status().SetWhoToKick(KickList);
  w.clock.AdvanceSeconds(6 * 60);
  w.Tick();
  EXPECT_FALSE(w.HasSession("A"));
}

// ---- sessions and marks ----

TEST_F(SessionDisconnectorTest, BothSessionsOfOneClientAreDeleted95) {
  EnforceWorld w95(true);
  w95.backend.onlyKeyedSession = true;
  w95.Connect("A", "DATA", 7);
  w95.backend.tables.sessions.push_back({"A", "", 0x10008, ""});
  w95.Connect("B", "DATA", 9);
  w95.Tick();
  w95.rules.Status().SetWhoToKick(KickAll);
  w95.Tick();
  ASSERT_EQ(w95.backend.deletions.size(), 3u);
  EXPECT_EQ(w95.backend.deletions[0].client, "A");  // no backslashes on 95/98
  EXPECT_EQ(w95.backend.deletions[0].key, 7);
  EXPECT_EQ(w95.backend.deletions[1].key, 8);  // low 16 bits of the key
  EXPECT_TRUE(w95.backend.tables.sessions.empty());
}

TEST_F(SessionDisconnectorTest, NtDeletionPassesBackslashedNameAndNoUser) {
  w.Connect("Pc-1");
  w.backend.tables.sessions.push_back({"Pc-1", "other", 0, ""});
  w.Tick();
  w.rules.Status().SetWhoToKick(KickAll);
  w.Tick();
  ASSERT_EQ(w.backend.deletions.size(), 2u);
  for (const auto& d : w.backend.deletions) {
    EXPECT_EQ(d.client, "\\\\Pc-1");
    EXPECT_TRUE(d.userNull);
  }
}

TEST_F(SessionDisconnectorTest, KickedMarksReachTheOpenSubtreeOnlyAndStayInFormerTree) {
  w.Connect("A", "DATA");
  w.Connect("A", "PRINT");
  w.Connect("A", "OLD");
  w.OpenFile("A", "DATA", "a.doc");
  w.Tick();
  w.backend.tables.connections.pop_back();  // a share that ends long before the disconnection
  w.Tick();
  TreeNode* former = FindNode(w.monitor.TreeViewFormer, nullptr, "A");
  ASSERT_EQ(former->ChildCount(), 3);
  w.backend.keepsSessions = true;
  w.rules.Status().SetWhoToKick(KickAll);
  w.Tick();
  EXPECT_EQ(w.monitor.CurrentUserCount, 1);  // still reported, still listed
  // The client then leaves: the marks stay, and what ended before keeps how.
  w.rules.Status().SetWhoToKick(KickNobody);
  w.backend.tables = {};
  w.Tick();
  EXPECT_EQ(w.monitor.CurrentUserCount, 0);
  EXPECT_EQ(former->Data()->ExitStatus, stKicked);
  EXPECT_NE(former->Data()->ExitTime, 0);
  for (int i = 0; i < former->ChildCount(); ++i) {
    const TreeNode* share = former->Child(i);
    EXPECT_EQ(share->Data()->ExitStatus, share->Text() == "OLD" ? stLoggedOff : stKicked);
  }
  ASSERT_EQ(former->Child(0)->ChildCount(), 1);
  EXPECT_EQ(former->Child(0)->Child(0)->Data()->ExitStatus, stKicked);
}

TEST_F(SessionDisconnectorTest, ShutdownOverwritesKickedWithProgramExitted) {
  w.Connect("A");
  w.OpenFile("A", "DATA", "f.txt");
  w.Tick();
  w.backend.keepsSessions = true;
  w.rules.Status().SetWhoToKick(KickAll);
  w.Tick();
  TreeNode* former = FindNode(w.monitor.TreeViewFormer, nullptr, "A");
  ASSERT_EQ(former->Data()->ExitStatus, stKicked);
  w.Shutdown();
  EXPECT_EQ(StatusText(former->Data()->ExitStatus), "Program exitted");
  EXPECT_EQ(former->Child(0)->Data()->ExitStatus, stProgramExited);
  EXPECT_EQ(former->Child(0)->Child(0)->Data()->ExitStatus, stProgramExited);
}

TEST_F(SessionDisconnectorTest, FailedSessionEnumerationDeletesNothingSilently) {
  w.Connect("A");
  w.Tick();
  w.backend.failures[ServerCall::NetSessionEnum] = NERR_ServerNotStarted;
  w.rules.Status().SetWhoToKick(KickAll);
  w.Tick();
  EXPECT_TRUE(w.backend.deletions.empty());
  EXPECT_TRUE(w.messages.errors.empty());
  EXPECT_EQ(w.User("A")->ExitStatus, stLoggedOff);
  w.backend.failures.clear();
  w.Tick();
  EXPECT_FALSE(w.HasSession("A"));
}

// ---- the manual command ----

TEST_F(SessionDisconnectorTest, ButtonOnCurrentPageDisconnectsSelectedUser) {
  w.Connect("A");
  w.Connect("B");
  w.Tick();
  w.monitor.TreeViewCurrent.Select(FindNode(w.monitor.TreeViewCurrent, nullptr, "B"));
  w.rules.Disconnector().KickButtonClick();
  EXPECT_TRUE(w.HasSession("A"));
  EXPECT_FALSE(w.HasSession("B"));
  EXPECT_EQ(w.User("B")->ExitStatus, stKicked);
  EXPECT_TRUE(w.messages.information.empty());
}

TEST_F(SessionDisconnectorTest, ButtonRefusesShareFileAndNothingSelected) {
  w.Connect("A");
  w.OpenFile("A", "DATA", "x.txt");
  w.Tick();
  ConnectionTree& tree = w.monitor.TreeViewCurrent;
  TreeNode* user = FindNode(tree, nullptr, "A");
  w.rules.Disconnector().KickButtonClick();
  tree.Select(user->Child(0));
  w.rules.Disconnector().KickButtonClick();
  tree.Select(user->Child(0)->Child(0));
  w.rules.Disconnector().KickButtonClick();
  EXPECT_EQ(w.messages.information, std::vector<std::string>(3, "No current user selected"));
  EXPECT_TRUE(w.backend.deletions.empty());
}

TEST_F(SessionDisconnectorTest, ButtonOnFormerPageActsOnlyOnOpenConnection) {
  w.Connect("A");
  w.Tick();
  w.backend.tables = {};
  w.Tick();  // A's first visit has ended
  w.Connect("A");
  w.Tick();  // second visit
  w.view.currentPage = false;
  ConnectionTree& former = w.monitor.TreeViewFormer;
  ASSERT_EQ(former.TopLevelCount(), 2);

  former.Select(former.TopLevel(0));
  w.rules.Disconnector().KickButtonClick();
  EXPECT_EQ(w.messages.information, std::vector<std::string>{"No current user selected"});
  EXPECT_TRUE(w.HasSession("A"));

  former.Select(former.TopLevel(1));
  w.rules.Disconnector().KickButtonClick();
  EXPECT_FALSE(w.HasSession("A"));
  EXPECT_EQ(former.TopLevel(1)->Data()->ExitStatus, stKicked);
  EXPECT_EQ(former.TopLevel(0)->Data()->ExitStatus, stLoggedOff);
  // The same record in the current tree.
  EXPECT_EQ(w.User("A")->ExitStatus, stKicked);
}

TEST_F(SessionDisconnectorTest, WorksOn95FamilyOverSimulatedKeys) {
  EnforceWorld w95(true);
  w95.Connect("A", "DATA", 42);
  w95.Tick();
  w95.monitor.TreeViewCurrent.Select(w95.monitor.TreeViewCurrent.FirstNode());
  w95.rules.Disconnector().KickButtonClick();
  ASSERT_EQ(w95.backend.deletions.size(), 1u);
  EXPECT_EQ(w95.backend.deletions[0].key, 42);
  EXPECT_FALSE(w95.HasSession("A"));
}

// ---- what a command's disconnection tells ----

TEST_F(SessionDisconnectorTest, CommandAnswersWhatTheServerDidAndOnlyAnEndMarksKicked) {
  using R = DisconnectOutcome::Result;
  constexpr ServerCall kDel = ServerCall::NetSessionDel;
  const struct {
    ServerCall call;
    NetStatus fails;       // 0: the server does it
    const char* toolSaid;  // a real back end's words for its failure
    R result;
    const char* reason;
  } cases[] = {{kDel, 0, "", R::Ended, ""},
               {kDel, ERROR_ACCESS_DENIED, "", R::Refused, "access denied (status 5)"},
               {kDel, 0x20000001, "smbcontrol: no such process", R::Refused,
                "smbcontrol: no such process (status 536870913)"},
               {ServerCall::NetSessionEnum, NERR_ServerNotStarted, "", R::Refused,
                "its sessions could not be listed (status 2114)"},
               {kDel, NERR_ClientNameNotFound, "", R::Nothing, ""},   // gone meanwhile
               {ServerCall::NetSessionEnum, 0, "", R::Nothing, ""}};  // no session at all
  for (const auto& c : cases) {
    EnforceWorld world;
    world.Connect("PC1");
    world.Tick();
    if (c.call == ServerCall::NetSessionEnum && !c.fails) world.backend.tables.sessions.clear();
    if (c.fails) world.backend.failures[c.call] = c.fails;
    world.backend.deletionFailure = c.toolSaid;
    const DisconnectOutcome outcome = world.rules.Disconnector().KickUser(
        FindNode(world.monitor.TreeViewCurrent, nullptr, "PC1"));
    EXPECT_EQ(outcome.result, c.result) << c.reason;
    EXPECT_EQ(outcome.status, c.result == R::Refused ? c.fails : 0) << c.reason;
    EXPECT_EQ(outcome.reason, c.reason);
    EXPECT_EQ(world.User("PC1")->ExitStatus, c.result == R::Ended ? stKicked : stLoggedOff);
    EXPECT_EQ(outcome.ended.size(), c.result == R::Ended ? 1u : 0u);
    EXPECT_EQ(world.messages.errors.size(), c.result == R::Refused ? 1u : 0u);  // said once
    // A command's deletion waits for what the server did.
    for (const auto& d : world.backend.deletions) EXPECT_TRUE(d.waited) << c.reason;
    EXPECT_FALSE(world.backend.waiting);
  }
}

TEST_F(SessionDisconnectorTest, DesktopCommandSaysThatNothingWasLeftToEnd) {
  w.Connect("B");
  w.Tick();
  w.backend.tables.sessions.clear();  // B's session has gone, its connection not yet
  w.monitor.TreeViewCurrent.Select(w.monitor.TreeViewCurrent.FirstNode());
  w.rules.Disconnector().KickButtonClick();
  EXPECT_EQ(w.messages.information, std::vector<std::string>{"B has no session left to end"});
}

// A client chooses its name, so a name alone may name several users: the
// command names them all and the caller picks one by address.
TEST_F(SessionDisconnectorTest, CommandFindsUsersByNameAddressOrBoth) {
  for (const char* at :
       {"TWIN@127.0.52.1", "TWIN@127.0.52.2", "PC7@127.0.52.11", "127.0.52.11@127.0.52.12"}) {
    const std::string text = at;
    w.ConnectFrom(text.substr(0, text.find('@')), text.substr(text.find('@') + 1));
  }
  w.Tick();
  auto found = [&](const std::string& client, const std::string& address) {
    std::string users;
    for (TreeNode* n : w.rules.Disconnector().CurrentUsers(client, address)) {
      users += n->Text() + "@" + static_cast<TUser*>(n->Data())->ClientAddress + " ";
    }
    return users;
  };
  EXPECT_EQ(found("TWIN", ""), "TWIN@127.0.52.1 TWIN@127.0.52.2 ");
  EXPECT_EQ(found("TWIN", "127.0.52.2"), "TWIN@127.0.52.2 ");
  EXPECT_EQ(found("", "127.0.52.1"), "TWIN@127.0.52.1 ");
  EXPECT_EQ(found("127.0.52.11", ""), "PC7@127.0.52.11 127.0.52.11@127.0.52.12 ");
}

// ---- what the telemetry is told ----

class RuleLog final : public Telemetry {
 public:
  void Disconnecting(const TUser& user, DisconnectRule rule) override {
    told.push_back(user.Name + " " + std::to_string(static_cast<int>(rule)));
  }
  std::vector<std::string> told;
};

std::string Told(const std::string& name, DisconnectRule rule) {
  return name + " " + std::to_string(static_cast<int>(rule));
}

TEST_F(SessionDisconnectorTest, EachRuleIsNamedOncePerUserItDisconnects) {
  RuleLog log;
  w.monitor.SetTelemetry(&log);
  w.settings.Idle = 5;
  w.settings.IPFilter = true;
  w.settings.IPFilterString = "10.";
  w.Connect("LISTED");
  w.Connect("IDLE", "OTHER");
  w.Connect("FAR");
  w.backend.tables.sessions.push_back({"FAR", "user-FAR", 2, ""});  // a second session
  w.Tick();
  w.User("LISTED")->IPAddress = "10.0.0.1";
  w.User("IDLE")->IPAddress = "10.0.0.2";
  w.User("FAR")->IPAddress = "192.168.0.1";
  w.rules.List().AddEntry("LISTED", "10.0.0.1");
  w.rules.Status().SetWhoToKick(KickList);
  w.clock.AdvanceSeconds(6 * 60);
  w.OpenFile("FAR", "DATA", "busy");  // FAR is not idle
  w.Tick();
  EXPECT_EQ(log.told, (std::vector<std::string>{Told("LISTED", DisconnectRule::DisconnectList),
                                                Told("IDLE", DisconnectRule::Idle),
                                                Told("FAR", DisconnectRule::AddressFilter)}));
}

TEST_F(SessionDisconnectorTest, StatusAllIsTheProgramWatchWhileAProgramForcesIt) {
  RuleLog log;
  w.monitor.SetTelemetry(&log);
  w.settings.Quake = true;
  w.rules.Programs().Add("/USR/BIN/GAME");
  w.Connect("A");
  w.Tick();
  w.processes.Run(7, "/usr/bin/game");
  w.Tick();
  w.processes.StopAll();
  w.Connect("B");
  w.Tick();
  w.rules.Status().SetWhoToKick(KickAll);
  w.Tick();
  w.settings.MaxNumber = 1;
  w.rules.Status().SetWhoToKick(KickNobody);
  w.Connect("C");
  w.Connect("D");
  w.Tick();
  w.monitor.TreeViewCurrent.Select(FindNode(w.monitor.TreeViewCurrent, nullptr, "C"));
  w.rules.Disconnector().KickButtonClick();
  EXPECT_EQ(log.told,
            (std::vector<std::string>{
                Told("A", DisconnectRule::ProgramWatch), Told("B", DisconnectRule::All),
                Told("D", DisconnectRule::MaximumUsers), Told("C", DisconnectRule::Command)}));
}

}  // namespace
}  // namespace qm::test
