// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "resolve/ResolveTestSupport.h"
#include "thread/UiStepQueue.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

TEST(UiStepQueue, StepOfTheUserInterfaceThreadRunsAtOnce) {
  UiStepQueue steps;
  bool ran = false;
  EXPECT_TRUE(steps.Execute([&] { ran = true; }));
  EXPECT_TRUE(ran);
  EXPECT_EQ(steps.PendingCount(), 0u);
}

TEST(UiStepQueue, WorkerWaitsUntilTheUserInterfaceThreadHasRunItsStep) {
  test::Watchdog watchdog(60s, "WorkerWaitsUntilTheUserInterfaceThreadHasRunItsStep");
  UiStepQueue steps;
  std::atomic<int> wakeUps{0};
  steps.SetWakeUp([&] { ++wakeUps; });
  const auto ui = std::this_thread::get_id();
  std::thread::id ranOn;
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    EXPECT_TRUE(steps.Execute([&] { ranOn = std::this_thread::get_id(); }));
    returned = true;
  });
  while (wakeUps.load() == 0) std::this_thread::sleep_for(1ms);
  EXPECT_FALSE(returned.load());
  EXPECT_EQ(steps.PendingCount(), 1u);
  EXPECT_EQ(steps.RunPending(), 1);
  worker.join();
  EXPECT_TRUE(returned.load());
  EXPECT_EQ(ranOn, ui);
}

TEST(UiStepQueue, ExceptionOfAStepComesOutAtThePoster) {
  test::Watchdog watchdog(60s, "ExceptionOfAStepComesOutAtThePoster");
  UiStepQueue steps;
  std::atomic<bool> caught{false};
  std::thread worker([&] {
    try {
      steps.Execute([] { throw std::runtime_error("step failed"); });
    } catch (const std::runtime_error&) {
      caught = true;
    }
    steps.Notify();
  });
  steps.ServeUntil([&] { return caught.load(); });
  worker.join();
  EXPECT_TRUE(caught.load());
}

TEST(UiStepQueue, ServingUntilAConditionRunsEveryPostedStep) {
  test::Watchdog watchdog(60s, "ServingUntilAConditionRunsEveryPostedStep");
  UiStepQueue steps;
  int ran = 0;  // only the user-interface thread touches it
  std::atomic<int> finished{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 8; ++w) {
    workers.emplace_back([&] {
      for (int i = 0; i < 50; ++i) steps.Execute([&] { ++ran; });
      ++finished;
      steps.Notify();
    });
  }
  steps.ServeUntil([&] { return finished.load() == 8; });
  for (auto& w : workers) w.join();
  EXPECT_EQ(ran, 400);
}

TEST(UiStepQueue, ServingOneWorkerLeavesTheOthersStepsToTheLoop) {
  test::Watchdog watchdog(60s, "ServingOneWorkerLeavesTheOthersStepsToTheLoop");
  UiStepQueue steps;
  std::vector<std::string> ran;
  std::thread other([&] { steps.Execute([&] { ran.push_back("other"); }); });
  while (steps.PendingCount() == 0) std::this_thread::sleep_for(1ms);
  std::atomic<bool> done{false};
  std::thread mine([&] {
    steps.Execute([&] { ran.push_back("mine 1"); });
    steps.Execute([&] { ran.push_back("mine 2"); });
    done = true;
    steps.Notify();
  });
  steps.ServeUntilFrom(mine.get_id(), [&] { return done.load(); });
  mine.join();
  EXPECT_EQ(ran, (std::vector<std::string>{"mine 1", "mine 2"}));
  EXPECT_EQ(steps.PendingCount(), 1u);
  EXPECT_EQ(steps.RunPending(), 1);
  other.join();
  EXPECT_EQ(ran.back(), "other");
}

TEST(UiStepQueue, ClosedQueueDropsStepsAndReleasesTheirPosters) {
  test::Watchdog watchdog(60s, "ClosedQueueDropsStepsAndReleasesTheirPosters");
  UiStepQueue steps;
  std::atomic<int> posted{0};
  steps.SetWakeUp([&] { ++posted; });
  std::atomic<bool> result{true};
  bool ran = false;
  std::thread worker([&] { result = steps.Execute([&] { ran = true; }); });
  while (posted.load() == 0) std::this_thread::sleep_for(1ms);
  steps.Close();
  worker.join();
  EXPECT_FALSE(result.load());
  EXPECT_FALSE(ran);
  std::thread late([&] { result = steps.Execute([&] { ran = true; }); });
  late.join();
  EXPECT_FALSE(result.load());
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace qm
