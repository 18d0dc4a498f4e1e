// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// Lookup threads started by the monitor for its users, and stopped by its
// sweep, over an in-memory server and a scripted name table.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>

#include "core/MonitorFixture.h"
#include "core/PointerList.h"
#include "resolve/ResolveTestSupport.h"
#include "resolve/TIPThreadStarter.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

class LookupMonitorTest : public ::testing::Test {
 protected:
  explicit LookupMonitorTest(bool family95 = false)
      : starter(LookupServices{}),
        table("/nonexistent/tool"),
        backend(family95),
        api(backend),
        monitor(api, settings, Ports()),
        cycle(monitor) {
    api.LoadServerApi();
    backend.tables.shares.push_back({"DOCS", "/srv/docs", 0});
    starter.Services() = TIPThreadStarter::ForMonitor(monitor, steps, table);
    starter.Services().LookupAddress = [this](const std::string& name, std::stop_token stop) {
      if (untilStopped) {
        // A lookup that only a stop ends.
        std::mutex m;
        std::condition_variable_any never;
        std::unique_lock lock(m);
        ++blocked;
        never.wait(lock, stop, [] { return false; });
        return AddressResult{kNotKnown, kNotKnown};
      }
      if (held) {
        // A lookup deaf to stops, until the test lets it go.
        ++blocked;
        while (held) std::this_thread::sleep_for(1ms);
        return AddressResult{"10.1.1.1", name + ".example"};
      }
      const int delay = lookupDelayMicroseconds.load();
      if (delay > 0) std::this_thread::sleep_for(std::chrono::microseconds(delay));
      return AddressResult{"10.1.1.1", name + ".example"};
    };
    starter.Services().UpdateAddress = [this](const std::string& name, const std::string& a) {
      updates.push_back(name + " " + a);
    };
    monitor.SetLookups(&starter);
  }
  MonitorPorts Ports() {
    MonitorPorts p;
    p.clock = &clock;
    p.messages = &messages;
    p.view = &view;
    return p;
  }
  void Connect(const std::string& client, const std::string& user = "alice") {
    backend.tables.connections.push_back({"DOCS", client, user});
    backend.tables.sessions.push_back({client, user, 0, "127.0.0.1"});
  }
  void Leave(const std::string& client) { RemoveClient(backend.tables, client, "", nullptr); }
  TUser* Former(const std::string& client) {
    TreeNode* node = monitor.TreeViewFormer.LastTopLevel(client);
    return node ? dynamic_cast<TUser*>(node->Data()) : nullptr;
  }
  // Serves steps until the user's address has been published.
  bool Published(const std::string& client) {
    return steps.ServeFor(
        [&] {
          // Read on the user-interface thread, which alone writes it.
          return Former(client)->IPAddress != kNotKnownYet;
        },
        30s);
  }

  test::Watchdog watchdog{120s, "a lookup monitor test"};
  UiStepQueue steps;
  TIPThreadStarter starter;  // outlives the monitor's threads
  NameTable table;
  std::atomic<int> lookupDelayMicroseconds{0};
  std::atomic<bool> untilStopped{false};
  std::atomic<bool> held{false};
  std::atomic<int> blocked{0};
  std::vector<std::string> updates;
  ManualClock clock;
  test::RecordingView view;
  test::RecordingMessages messages;
  Settings settings;
  InMemoryServerBackend backend;
  ServerApi api;
  Monitor monitor;
  RefreshCycle cycle;
};

TEST_F(LookupMonitorTest, NewUserGetsItsAddressFromItsThread) {
  Connect("PC1");
  cycle.RefreshTimerTimer();
  TUser* user = Former("PC1");
  ASSERT_NE(user, nullptr);
  ASSERT_NE(user->IPThread, nullptr);
  ASSERT_TRUE(Published("PC1"));
  EXPECT_EQ(user->IPAddress, "10.1.1.1");
  EXPECT_EQ(user->HostName, "PC1.example");
  EXPECT_EQ(user->UserName, "alice");
  EXPECT_EQ(updates, std::vector<std::string>{"PC1 10.1.1.1"});
}

TEST_F(LookupMonitorTest, PublishRefreshesTheSelectedNodeOfTheVisiblePage) {
  view.currentPage = false;
  Connect("PC1");
  cycle.RefreshTimerTimer();
  monitor.TreeViewFormer.Select(monitor.TreeViewFormer.LastTopLevel("PC1"));
  monitor.TreeViewCurrent.Select(monitor.TreeViewCurrent.LastTopLevel("PC1"));
  monitor.ShowInfo(monitor.TreeViewFormer);
  monitor.ShowInfo(monitor.TreeViewCurrent);
  ASSERT_TRUE(Published("PC1"));
  // The panel step comes right after the publish step.
  steps.ServeFor([&] { return monitor.Label(IPFormerLabel) == "10.1.1.1"; }, 30s);
  EXPECT_EQ(monitor.Label(IPFormerLabel), "10.1.1.1");
  EXPECT_EQ(monitor.Label(IPTextFoLabel), "PC1.example");
  EXPECT_EQ(monitor.Label(IPCuLabel), kNotKnownYet);  // the hidden page is left alone
}

TEST_F(LookupMonitorTest, SweepKeepsWhatALeavingLookupHasAlreadyFound) {
  std::mt19937 random(7);
  int found = 0;
  for (int round = 0; round < 300; ++round) {
    const std::string client = "PC" + std::to_string(round);
    lookupDelayMicroseconds = static_cast<int>(random() % 300);
    Connect(client);
    cycle.RefreshTimerTimer();
    const bool publishing = round % 2 == 0;
    if (publishing) {
      // The thread stands in its publish step, waiting for this thread
      // (and no earlier thread has a step pending).
      starter.JoinReleased();
      while (steps.PendingCount() == 0) std::this_thread::sleep_for(50us);
    }
    Leave(client);
    cycle.RefreshTimerTimer();
    TUser* user = Former(client);
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->IPThread, nullptr);
    // A lookup still at work is not waited for beyond a moment.
    if (publishing) {
      EXPECT_EQ(user->IPAddress, "10.1.1.1") << round;
    }
    EXPECT_TRUE(user->IPAddress == "10.1.1.1" || user->IPAddress == kNotKnown) << round;
    if (user->IPAddress == "10.1.1.1") ++found;
  }
  starter.JoinReleased();
  steps.RunPending();
  EXPECT_EQ(monitor.CurrentUserCount, 0);
  EXPECT_EQ(updates.size(), static_cast<std::size_t>(found));
}

TEST_F(LookupMonitorTest, ShutdownSweepEndsEveryUserWithoutWaitingForItsLookup) {
  held = true;
  for (int i = 0; i < 20; ++i) Connect("PC" + std::to_string(i));
  cycle.RefreshTimerTimer();
  while (blocked.load() < 20) std::this_thread::sleep_for(1ms);
  ClearSeenFlags(monitor.Users);
  monitor.SweepUsers(true);
  EXPECT_EQ(monitor.CurrentUserCount, 0);
  EXPECT_EQ(starter.ReleasedCount(), 20u);
  for (int i = 0; i < 20; ++i) {
    const TUser* user = Former("PC" + std::to_string(i));
    EXPECT_EQ(user->IPThread, nullptr);
    EXPECT_EQ(user->IPAddress, kNotKnown);
    EXPECT_EQ(user->ExitStatus, stProgramExited);
  }
  // Lookups that answer after their user has gone, some records gone
  // too, publish nothing.
  for (int i = 0; i < 10; ++i) {
    monitor.TreeViewFormer.Delete(monitor.TreeViewFormer.LastTopLevel("PC" + std::to_string(i)));
  }
  held = false;
  steps.ServeFor([] { return false; }, 50ms);
  starter.JoinReleased();
  EXPECT_EQ(starter.ReleasedCount(), 0u);
  EXPECT_EQ(steps.PendingCount(), 0u);
  EXPECT_TRUE(updates.empty());
  for (int i = 10; i < 20; ++i) EXPECT_EQ(Former("PC" + std::to_string(i))->HostName, kNotKnown);
}

TEST_F(LookupMonitorTest, SweepDoesNotWaitForLookupsThatWouldNeverEnd) {
  untilStopped = true;
  for (int i = 0; i < 100; ++i) Connect("PC" + std::to_string(i));
  cycle.RefreshTimerTimer();
  while (blocked.load() < 100) std::this_thread::sleep_for(1ms);
  for (int i = 0; i < 50; ++i) Leave("PC" + std::to_string(i));
  cycle.RefreshTimerTimer();
  EXPECT_EQ(monitor.CurrentUserCount, 50);
  for (int i = 0; i < 50; ++i) {
    TUser* user = Former("PC" + std::to_string(i));
    EXPECT_EQ(user->IPThread, nullptr);
    EXPECT_EQ(user->IPAddress, kNotKnown);
  }
  ClearSeenFlags(monitor.Users);
  monitor.SweepUsers(true);
  EXPECT_EQ(monitor.CurrentUserCount, 0);
  EXPECT_EQ(Former("PC99")->HostName, kNotKnown);
}

class LookupMonitor95Test : public LookupMonitorTest {
 protected:
  LookupMonitor95Test() : LookupMonitorTest(true) {}
};

TEST_F(LookupMonitor95Test, AccountNameComesFromTheSessionList) {
  for (int i = 0; i < 20; ++i) {
    Connect("PC" + std::to_string(i), "user" + std::to_string(i));
  }
  cycle.RefreshTimerTimer();
  for (int i = 0; i < 20; ++i) {
    const std::string client = "PC" + std::to_string(i);
    ASSERT_TRUE(Published(client));
    EXPECT_EQ(Former(client)->UserName, "user" + std::to_string(i));
    EXPECT_EQ(Former(client)->IPAddress, "10.1.1.1");
  }
  EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace qm
