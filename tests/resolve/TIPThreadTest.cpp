// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "resolve/ResolveTestSupport.h"
#include "resolve/TIPThread.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

AddressResult NotKnownAddress() {
  return {kNotKnown, kNotKnown};
}

// A lookup thread over a scripted name table, with a pause that returns
// at once (or, when told, only at a stop request).
class TIPThreadTest : public ::testing::Test {
 protected:
  LookupServices Services(bool isNT) {
    LookupServices s;
    s.IsNT = isNT;
    s.Steps = &steps;
    s.LookupAddress = [this](const std::string& name, std::stop_token stop) {
      const int attempt = ++addressLookups;
      {
        std::lock_guard lock(mutex);
        lookedUp.push_back(name);
        lookupStop = stop;
      }
      return addressScript(attempt);
    };
    s.LookupUserName = [this](const std::string&, bool& releaseFailed) {
      const int attempt = ++userNameLookups;
      releaseFailed = failRelease;
      return userNameScript(attempt);
    };
    s.Sleep = [this](std::chrono::milliseconds pause, std::stop_token stop) {
      {
        std::lock_guard lock(mutex);
        pauses.push_back(pause);
      }
      ++sleeping;
      if (blockInPause) {
        std::unique_lock lock(mutex);
        std::condition_variable_any cv;
        cv.wait(lock, stop, [] { return false; });
      }
    };
    s.UpdateAddress = [this](const std::string& name, const std::string& address) {
      OnUiThread();
      events.push_back("update " + name + " " + address + " / " + user.IPAddress + " " +
                       user.HostName + " " + user.UserName);
    };
    s.RefreshInfoPanel = [this] {
      OnUiThread();
      events.push_back("refresh");
    };
    s.Fatal = [this](const std::string& text) {
      OnUiThread();
      events.push_back("fatal " + text);
    };
    s.Finished = [this](const TUser& published, bool found) {
      OnUiThread();
      EXPECT_EQ(&published, &user);
      finished.push_back(found);
    };
    return s;
  }
  void OnUiThread() { EXPECT_EQ(std::this_thread::get_id(), uiThread); }

  // Starts a thread for user and waits for its end as the sweep would.
  void RunToEnd(const LookupServices& services) {
    TIPThread thread(user, services);
    thread.Start();
    thread.WaitFor();
    EXPECT_TRUE(thread.Finished());
  }

  const std::thread::id uiThread = std::this_thread::get_id();
  test::Watchdog watchdog{60s, "a lookup thread test"};
  UiStepQueue steps;
  TUser user{"PC1", false, 45000.0, "account", true};
  std::mutex mutex;
  std::function<AddressResult(int)> addressScript = [](int) { return NotKnownAddress(); };
  std::function<std::string(int)> userNameScript = [](int) { return std::string(kNotKnown); };
  std::atomic<int> addressLookups{0}, userNameLookups{0}, sleeping{0};
  std::vector<std::string> lookedUp;
  std::vector<std::chrono::milliseconds> pauses;
  bool failRelease = false;
  bool blockInPause = false;
  std::stop_token lookupStop;       // of the latest address lookup
  std::vector<bool> finished;       // user-interface thread only
  std::vector<std::string> events;  // user-interface thread only
};

TEST_F(TIPThreadTest, AddressFoundInTheFirstAttemptIsPublishedAtOnce) {
  addressScript = [](int) { return AddressResult{"10.0.0.1", "pc1.example"}; };
  const LookupServices services = Services(true);
  RunToEnd(services);
  EXPECT_EQ(user.IPAddress, "10.0.0.1");
  EXPECT_EQ(user.HostName, "pc1.example");
  EXPECT_EQ(user.UserName, "account");  // from the connection record
  EXPECT_EQ(addressLookups.load(), 1);
  EXPECT_EQ(userNameLookups.load(), 0);
  EXPECT_TRUE(pauses.empty());
  EXPECT_EQ(lookedUp, std::vector<std::string>{"PC1"});
  // Copied first, then the Disconnect List, then the panel.
  EXPECT_EQ(events, (std::vector<std::string>{"update PC1 10.0.0.1 / 10.0.0.1 pc1.example account",
                                              "refresh"}));
  EXPECT_EQ(finished, std::vector<bool>{true});
}

TEST_F(TIPThreadTest, NothingFoundIsPublishedAsNotKnownAfterFiveAttempts) {
  const LookupServices services = Services(true);
  RunToEnd(services);
  EXPECT_EQ(addressLookups.load(), 5);
  EXPECT_EQ(pauses, std::vector<std::chrono::milliseconds>(5, 500ms));
  EXPECT_EQ(user.IPAddress, kNotKnown);
  EXPECT_EQ(user.HostName, kNotKnown);
  EXPECT_EQ(events, (std::vector<std::string>{"update PC1 Not known / Not known Not known account",
                                              "refresh"}));
  EXPECT_EQ(finished, std::vector<bool>{false});
}

TEST_F(TIPThreadTest, AddressFoundInTheThirdAttemptEndsTheRetries) {
  addressScript = [](int attempt) {
    return attempt < 3 ? NotKnownAddress() : AddressResult{"10.0.0.3", kNotKnown};
  };
  const LookupServices services = Services(true);
  RunToEnd(services);
  EXPECT_EQ(addressLookups.load(), 3);
  EXPECT_EQ(pauses.size(), 2u);
  EXPECT_EQ(user.IPAddress, "10.0.0.3");
  EXPECT_EQ(user.HostName, kNotKnown);
}

TEST_F(TIPThreadTest, On95AFoundAddressIsNotLookedUpAgainWhileTheNameIsMissing) {
  user.UserName = kNotKnownYet;
  addressScript = [](int) { return AddressResult{"10.0.0.1", kNotKnown}; };
  const LookupServices services = Services(false);
  RunToEnd(services);
  EXPECT_EQ(addressLookups.load(), 1);
  EXPECT_EQ(userNameLookups.load(), 5);
  EXPECT_EQ(pauses.size(), 5u);
  EXPECT_EQ(user.UserName, kNotKnown);
  EXPECT_EQ(user.IPAddress, "10.0.0.1");
  EXPECT_EQ(user.HostName, kNotKnown);
}

TEST_F(TIPThreadTest, On95BothResultsEndTheRetries) {
  user.UserName = kNotKnownYet;
  userNameScript = [](int attempt) { return std::string(attempt < 2 ? kNotKnown : "alice"); };
  addressScript = [](int attempt) {
    return attempt < 2 ? NotKnownAddress() : AddressResult{"10.0.0.1", "pc1"};
  };
  const LookupServices services = Services(false);
  RunToEnd(services);
  EXPECT_EQ(userNameLookups.load(), 2);
  EXPECT_EQ(addressLookups.load(), 2);
  EXPECT_EQ(pauses.size(), 1u);
  EXPECT_EQ(user.UserName, "alice");
  EXPECT_EQ(events.front(), "update PC1 10.0.0.1 / 10.0.0.1 pc1 alice");
}

TEST_F(TIPThreadTest, FailedSessionReleaseIsReportedOnTheUserInterfaceThread) {
  user.UserName = kNotKnownYet;
  failRelease = true;
  userNameScript = [](int) { return std::string("alice"); };
  addressScript = [](int) { return AddressResult{"10.0.0.1", "pc1"}; };
  const LookupServices services = Services(false);
  RunToEnd(services);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0], "fatal Debug: SessionsExit");
  EXPECT_EQ(events[2], "refresh");
}

TEST_F(TIPThreadTest, UserLeavingDuringThePauseEndsTheThreadWithinTheAttempt) {
  blockInPause = true;
  const LookupServices services = Services(true);
  TIPThread thread(user, services);
  thread.Start();
  while (sleeping.load() == 0) std::this_thread::sleep_for(1ms);
  thread.Terminate();
  thread.WaitFor();
  EXPECT_EQ(addressLookups.load(), 1);
  EXPECT_EQ(user.IPAddress, kNotKnown);
  EXPECT_EQ(events.back(), "refresh");
}

TEST_F(TIPThreadTest, StopDuringALookupThatWouldNeverEndIsHonouredAtOnce) {
  std::atomic<bool> inLookup{false};
  addressScript = [&](int) {
    std::unique_lock lock(mutex);
    inLookup = true;
    // A lookup that only a stop ends, as a capture or a silent name
    // server would be.
    std::condition_variable_any never;
    never.wait(lock, lookupStop, [] { return false; });
    return NotKnownAddress();
  };
  const LookupServices services = Services(true);
  TIPThread thread(user, services);
  thread.Start();
  while (!inLookup.load()) std::this_thread::sleep_for(1ms);
  thread.Terminate();
  thread.WaitFor();
  EXPECT_EQ(addressLookups.load(), 1);
  EXPECT_TRUE(pauses.empty());
  EXPECT_EQ(user.IPAddress, kNotKnown);
  EXPECT_EQ(events.size(), 2u);
}

TEST_F(TIPThreadTest, FailingLookupCountsAsNotKnownForThatAttempt) {
  addressScript = [](int attempt) -> AddressResult {
    if (attempt == 1) throw std::runtime_error("no memory");
    return {"10.0.0.2", "pc1"};
  };
  const LookupServices services = Services(true);
  RunToEnd(services);
  EXPECT_EQ(addressLookups.load(), 2);
  EXPECT_EQ(user.IPAddress, "10.0.0.2");
}

TEST_F(TIPThreadTest, DestroyingARunningThreadStopsAndWaitsForIt) {
  blockInPause = true;
  const LookupServices services = Services(true);
  {
    TIPThread thread(user, services);
    thread.Start();
    while (sleeping.load() == 0) std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(user.IPAddress, kNotKnown);
  EXPECT_EQ(events.size(), 2u);
}

}  // namespace
}  // namespace qm
