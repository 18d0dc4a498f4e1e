// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>

#include "resolve/ListingCapture.h"
#include "resolve/ResolveTestSupport.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

// Captures that run until the test lets them end or they are cancelled;
// the n-th lists "run" -> n.
class ListingCaptureTest : public ::testing::Test {
 protected:
  std::shared_ptr<const ListingCapture::Table> Capture(std::stop_token cancel) {
    std::unique_lock lock(mutex);
    const int run = ++runs;
    changed.notify_all();
    if (!changed.wait(lock, cancel, [&] { return released >= run; })) {
      ++cancels;
      changed.notify_all();
      return nullptr;
    }
    return std::make_shared<ListingCapture::Table>(
        ListingCapture::Table{{"run", std::to_string(run)}});
  }
  void WaitFor(const std::function<bool()>& condition) {
    std::unique_lock lock(mutex);
    changed.wait(lock, condition);
  }
  void Release() {
    std::lock_guard lock(mutex);
    ++released;
    changed.notify_all();
  }
  static std::string Run(const std::shared_ptr<const ListingCapture::Table>& table) {
    return table ? table->at("run") : "none";
  }

  test::Watchdog watchdog{60s, "a listing capture test"};
  std::mutex mutex;
  std::condition_variable_any changed;
  int runs = 0, released = 0, cancels = 0;
  ListingCapture captures{[this](std::stop_token cancel) { return Capture(cancel); }};
};

TEST_F(ListingCaptureTest, ACaptureServesEveryLookupThatAskedBeforeItBegan) {
  std::string a, b, c;
  std::stop_source stopB;
  std::thread first([&] { a = Run(captures.Await({})); });
  WaitFor([&] { return runs == 1; });
  std::thread second([&] { b = Run(captures.Await(stopB.get_token())); });
  std::thread third([&] { c = Run(captures.Await({})); });
  while (captures.Waiting() < 3) std::this_thread::sleep_for(1ms);
  Release();
  first.join();
  EXPECT_EQ(a, "1");
  // The second capture serves both late lookups; one leaving does not end
  // it for the other.
  WaitFor([&] { return runs == 2; });
  stopB.request_stop();
  second.join();
  EXPECT_EQ(b, "none");
  Release();
  third.join();
  EXPECT_EQ(c, "2");
  EXPECT_EQ(cancels, 0);
  EXPECT_EQ(captures.Started(), 2u);
  EXPECT_EQ(captures.Waiting(), 0);
}

}  // namespace
}  // namespace qm
