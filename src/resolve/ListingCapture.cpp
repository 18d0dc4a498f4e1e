// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "resolve/ListingCapture.h"

#include <algorithm>
#include <exception>

#include "thread/BackgroundPriority.h"

namespace qm {

ListingCapture::ListingCapture(CaptureFunction capture, std::chrono::milliseconds gatherQuiet,
                               std::chrono::milliseconds gatherLimit)
    : capture_(std::move(capture)),
      gatherQuiet_(gatherQuiet),
      gatherLimit_(gatherLimit),
      thread_([this](std::stop_token stop) { Run(std::move(stop)); }) {}

ListingCapture::~ListingCapture() {
  thread_.request_stop();
  thread_.join();
}

std::uint64_t ListingCapture::Started() const {
  std::lock_guard lock(mutex_);
  return started_;
}

int ListingCapture::Waiting() const {
  std::lock_guard lock(mutex_);
  return waitingForNext_ + waitingForRunning_;
}

std::shared_ptr<const ListingCapture::Table> ListingCapture::Await(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  if (stop.stop_requested()) return nullptr;
  // The running capture may have read the sessions before this lookup's
  // client arrived: only the next one serves it.
  const std::uint64_t mine = started_ + 1;
  lastRequest_ = Clock::now();
  // Only the first request wakes the capture thread: while a crowd
  // gathers, it looks at the time of the latest when its moment is up.
  if (waitingForNext_++ == 0) {
    firstRequest_ = lastRequest_;
    work_.notify_one();
  }
  std::condition_variable_any ended;
  waiters_.insert(&ended);
  const bool served = ended.wait(lock, stop, [&] { return finished_ >= mine; });
  waiters_.erase(&ended);
  if (served) return latest_;
  if (started_ < mine) {
    --waitingForNext_;
  } else if (--waitingForRunning_ == 0) {
    cancelRunning_.request_stop();
  }
  return nullptr;
}

void ListingCapture::Expect() {
  std::lock_guard lock(mutex_);
  lastRequest_ = Clock::now();
}

void ListingCapture::Gather(std::unique_lock<std::mutex>& lock, const std::stop_token& stop) {
  while (!stop.stop_requested() && waitingForNext_ > 0) {
    const Clock::time_point begin =
        std::min(lastRequest_ + gatherQuiet_, firstRequest_ + gatherLimit_);
    if (Clock::now() >= begin) return;
    work_.wait_until(lock, stop, begin, [] { return false; });
  }
}

void ListingCapture::Run(std::stop_token stop) {
  LowerThisThreadsPriority();
  // Going away cancels the running capture too.
  const std::stop_callback onStop(stop, [this] {
    std::lock_guard lock(mutex_);
    cancelRunning_.request_stop();
  });
  std::unique_lock lock(mutex_);
  for (;;) {
    if (!work_.wait(lock, stop, [&] { return waitingForNext_ > 0; })) return;
    Gather(lock, stop);
    // Every lookup that asked may have been told to stop meanwhile.
    if (waitingForNext_ == 0) continue;
    ++started_;
    waitingForRunning_ = waitingForNext_;
    waitingForNext_ = 0;
    cancelRunning_ = std::stop_source();
    if (stop.stop_requested()) cancelRunning_.request_stop();
    const std::stop_token cancel = cancelRunning_.get_token();
    lock.unlock();
    std::shared_ptr<const Table> table;
    try {
      table = capture_(cancel);
    } catch (const std::exception&) {
      // A capture that failed serves no listing: its lookups go on as
      // without one, by the name table.
      table = nullptr;
    }
    lock.lock();
    latest_ = cancel.stop_requested() ? nullptr : std::move(table);
    finished_ = started_;
    waitingForRunning_ = 0;
    for (auto* waiter : waiters_) waiter->notify_one();
  }
}

}  // namespace qm
