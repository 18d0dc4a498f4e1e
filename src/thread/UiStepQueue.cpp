// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "thread/UiStepQueue.h"

namespace qm {

UiStepQueue::UiStepQueue() : uiThread_(std::this_thread::get_id()) {}

UiStepQueue::~UiStepQueue() {
  Close();
}

void UiStepQueue::SetWakeUp(std::function<void()> wakeUp) {
  std::lock_guard lock(mutex_);
  wakeUp_ = std::move(wakeUp);
}

void UiStepQueue::BindToCurrentThread() {
  std::lock_guard lock(mutex_);
  uiThread_ = std::this_thread::get_id();
}

bool UiStepQueue::OnUiThread() const {
  std::lock_guard lock(mutex_);
  return uiThread_ == std::this_thread::get_id();
}

bool UiStepQueue::Execute(Step step) {
  if (OnUiThread()) {
    step();
    return true;
  }
  auto item = std::make_shared<Item>();
  item->step = std::move(step);
  item->poster = std::this_thread::get_id();
  std::function<void()> wakeUp;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    pending_.push_back(item);
    wakeUp = wakeUp_;
  }
  posted_.notify_all();
  if (wakeUp) wakeUp();
  std::unique_lock lock(mutex_);
  item->done.wait(lock, [&] { return item->finished; });
  if (item->error) std::rethrow_exception(item->error);
  return item->ran;
}

void UiStepQueue::Run(const std::shared_ptr<Item>& item) {
  std::exception_ptr error;
  try {
    item->step();
  } catch (...) {
    error = std::current_exception();
  }
  {
    std::lock_guard lock(mutex_);
    item->error = error;
    item->ran = true;
    item->finished = true;
  }
  item->done.notify_one();
}

int UiStepQueue::RunPending() {
  std::size_t count;
  {
    std::lock_guard lock(mutex_);
    count = pending_.size();
  }
  // Only what is pending now: a steady stream of posts cannot hold the
  // loop here, and each later post brings its own wake-up.
  int ran = 0;
  for (; count > 0; --count) {
    std::shared_ptr<Item> item;
    {
      std::lock_guard lock(mutex_);
      if (pending_.empty()) break;
      item = std::move(pending_.front());
      pending_.pop_front();
    }
    Run(item);
    ++ran;
  }
  return ran;
}

bool UiStepQueue::Serve(const std::function<bool()>& done,
                        const std::chrono::steady_clock::time_point* deadline,
                        const std::function<bool(std::thread::id)>* from) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (done()) return true;
    auto next = pending_.begin();
    if (from) {
      while (next != pending_.end() && !(*from)((*next)->poster)) ++next;
    }
    if (next != pending_.end()) {
      std::shared_ptr<Item> item = std::move(*next);
      pending_.erase(next);
      lock.unlock();
      Run(item);
      lock.lock();
      // Steps that keep coming must not hold a limited wait beyond its
      // time (a step pending at the start runs, however late that is).
      if (deadline && std::chrono::steady_clock::now() >= *deadline) return done();
      continue;
    }
    if (!deadline) {
      posted_.wait(lock);
    } else if (posted_.wait_until(lock, *deadline) == std::cv_status::timeout) {
      return done();
    }
  }
}

void UiStepQueue::ServeUntil(const std::function<bool()>& done) {
  Serve(done, nullptr);
}

void UiStepQueue::ServeUntilFrom(std::thread::id poster, const std::function<bool()>& done) {
  const std::function<bool(std::thread::id)> from = [poster](std::thread::id id) {
    return id == poster;
  };
  Serve(done, nullptr, &from);
}

void UiStepQueue::ServeUntilFrom(const std::function<bool(std::thread::id)>& from,
                                 const std::function<bool()>& done) {
  Serve(done, nullptr, &from);
}

bool UiStepQueue::ServeFromFor(const std::function<bool(std::thread::id)>& from,
                               const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  return Serve(done, &deadline, &from);
}

bool UiStepQueue::ServeFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  return Serve(done, &deadline);
}

void UiStepQueue::Notify() {
  { std::lock_guard lock(mutex_); }
  posted_.notify_all();
}

void UiStepQueue::Close() {
  std::deque<std::shared_ptr<Item>> dropped;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    dropped.swap(pending_);
    for (auto& item : dropped) item->finished = true;
  }
  for (auto& item : dropped) item->done.notify_one();
  posted_.notify_all();
}

std::size_t UiStepQueue::PendingCount() const {
  std::lock_guard lock(mutex_);
  return pending_.size();
}

}  // namespace qm
