// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include "ObserveWorld.h"
#include "observe/MetricsRecorder.h"
#include "observe/PrometheusText.h"

namespace qm::test {
namespace {

class MetricsRecorderTest : public ::testing::Test {
 protected:
  MetricsRecorderTest() {
    MetricsRecorder::Options o;
    o.listed = [](const TUser& u) { return u.Name == "PC2"; };
    recorder = std::make_unique<MetricsRecorder>(std::move(o));
    subscription = stream.Subscribe(*recorder);
    w.monitor.SetTelemetry(&stream);
    w.monitor.TreeViewCurrent.AddObserver(&stream);
  }
  ~MetricsRecorderTest() override { w.monitor.TreeViewCurrent.RemoveObserver(&stream); }

  ObserveWorld w;
  EventStream stream;
  std::unique_ptr<MetricsRecorder> recorder;
  Subscription subscription;
};

TEST_F(MetricsRecorderTest, SnapshotIsWhatTheLastTickLeft) {
  w.Connect("PC1", "DOCS", 2);
  w.Connect("PC1", "MUSIC", 1);
  w.Connect("PC2", "DOCS");
  w.Tick();
  const auto first = recorder->Snapshot();
  EXPECT_EQ(first->users, 2);
  EXPECT_EQ(first->listedUsers, 1);
  EXPECT_EQ(first->openFiles, 3);
  EXPECT_EQ(first->shares.at("DOCS").connections, 2);
  EXPECT_EQ(first->shares.at("DOCS").openFiles, 2);
  EXPECT_EQ(first->shares.at("MUSIC").openFiles, 1);
  EXPECT_EQ(first->tickSeconds.Count(), 1u);
  const auto& begun = first->visitsBegun;
  EXPECT_EQ(begun[0][stProgramStarted], 2u);  // users present at start-up
  EXPECT_EQ(begun[1][stProgramStarted], 3u);
  EXPECT_EQ(begun[2][stProgramStarted], 3u);

  w.backend.tables.connections.pop_back();  // PC2 leaves
  w.backend.tables.sessions.pop_back();
  w.Connect("PC3", "MUSIC");
  w.Tick();
  const auto second = recorder->Snapshot();
  EXPECT_EQ(second->users, 2);
  EXPECT_EQ(second->formerUsers, 3);
  EXPECT_EQ(second->visitsBegun[0][stLoggedOn], 1u);
  EXPECT_EQ(second->visitsEnded[0][stLoggedOff], 1u);
  EXPECT_EQ(second->visitsEnded[1][stLoggedOff], 1u);
  EXPECT_EQ(second->listedUsers, 0);
  // A scraper holding the first snapshot still reads the first tick.
  EXPECT_EQ(first->shares.at("DOCS").connections, 2);
  EXPECT_EQ(first->visitsEnded[0][stLoggedOff], 0u);
}

TEST_F(MetricsRecorderTest, UsersAreCountedByNodeAndProtectionAndByUnencryptedShare) {
  SessionSecurity smb1;
  smb1.node = "1";
  smb1.dialect = "NT1";
  smb1.unencryptedShares = {"DOCS"};
  w.backend.tables.security = {{"PC1", smb1}, {"PC2", smb1}};
  w.backend.tables.security["PC2"].unencryptedShares.clear();
  for (const char* client : {"PC1", "PC2", "PC3"}) w.Connect(client, "DOCS");
  w.Tick();
  const std::string text = PrometheusText::Render(*recorder->Snapshot());
  for (const char* line :
       {R"(quillmoor98_user_sessions{node="1",dialect="NT1",signing="",encryption=""} 2)",
        R"(quillmoor98_user_sessions{node="",dialect="",signing="",encryption=""} 1)",
        R"(quillmoor98_share_unencrypted_users{share="DOCS"} 1)"}) {
    EXPECT_NE(text.find(std::string(line) + "\n"), std::string::npos) << line << text;
  }
}

TEST_F(MetricsRecorderTest, ReadingsLookupsAndDisconnectionsAreCounted) {
  stream.ServerReading(true, 0.002);
  stream.ServerReading(false, 5.0);
  w.Connect("PC1", "DOCS");
  w.Tick();
  stream.LookupFinished(*w.monitor.Users.Find("PC1")->User(), false);
  w.rules.Status().SetWhoToKick(KickAll);
  w.Tick();
  auto s = recorder->Snapshot();
  EXPECT_TRUE(s->serverReadable);
  EXPECT_EQ(s->readingsFailed, 1u);
  EXPECT_EQ(s->readingSeconds.Count(), 2u);
  EXPECT_EQ(s->lookupsNotKnown, 1u);
  EXPECT_EQ(s->disconnections[static_cast<std::size_t>(DisconnectRule::All)], 1u);
  EXPECT_EQ(s->disconnectStatus, KickAll);
  w.Tick();  // the kicked user is gone now
  s = recorder->Snapshot();
  EXPECT_EQ(s->visitsEnded[0][stKicked], 1u);
  EXPECT_EQ(s->users, 0);
  EXPECT_TRUE(s->shares.empty());

  // Samba running but its state unreadable: the gauge follows the tick.
  w.backend.failures[ServerCall::NetShareEnum] = kServerStateUnreadable;
  w.Tick();
  EXPECT_FALSE(recorder->Snapshot()->serverReadable);
}

}  // namespace
}  // namespace qm::test
