// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace qm {

// Steps that background threads hand to the user-interface thread: a
// worker posts a step and blocks until the user-interface thread has run
// it. The user-interface thread runs pending steps from its loop (the
// wake-up callback tells a front end there is something to run) and keeps
// running them while it waits for a worker to end, so neither side can
// block the other. Must outlive every thread that posts to it.
class UiStepQueue {
 public:
  using Step = std::function<void()>;

  // The constructing thread is the user-interface thread.
  UiStepQueue();
  ~UiStepQueue();
  UiStepQueue(const UiStepQueue&) = delete;
  UiStepQueue& operator=(const UiStepQueue&) = delete;

  // Called on the posting thread after each post, with no lock held: a
  // front end schedules RunPending on its loop (Qt posts an event, the
  // console loop wakes up). Set it before any worker starts.
  void SetWakeUp(std::function<void()> wakeUp);
  // Makes the calling thread the user-interface thread.
  void BindToCurrentThread();
  bool OnUiThread() const;

  // Runs step on the user-interface thread and returns once it has run;
  // on that thread itself it runs at once. An exception the step throws
  // comes out here. False when the queue was closed and the step did not
  // run.
  bool Execute(Step step);

  // User-interface thread: runs the steps pending now; gives their number.
  int RunPending();
  // User-interface thread: returns once done() is true, running every step
  // posted meanwhile. done is evaluated with the queue locked, so whatever
  // makes it true must call Notify afterwards.
  void ServeUntil(const std::function<bool()>& done);
  // The same with a time limit; gives done() at the end.
  bool ServeFor(const std::function<bool()>& done, std::chrono::milliseconds limit);
  // User-interface thread: like ServeUntil, running only the steps that
  // thread poster posts; the others stay pending for the loop. Waiting for
  // one worker then costs its own steps, not a crowd's.
  void ServeUntilFrom(std::thread::id poster, const std::function<bool()>& done);
  // The same for the threads from() accepts.
  void ServeUntilFrom(const std::function<bool(std::thread::id)>& from,
                      const std::function<bool()>& done);
  // The same for the threads from() accepts, with a time limit; gives
  // done() at the end.
  bool ServeFromFor(const std::function<bool(std::thread::id)>& from,
                    const std::function<bool()>& done, std::chrono::milliseconds limit);
  // Any thread: makes a waiting ServeUntil look at its condition again.
  void Notify();

  // No more steps run: pending and later ones are dropped and their
  // posters get false. For a user-interface thread that goes away.
  void Close();
  std::size_t PendingCount() const;

 private:
  struct Item {
    Step step;
    std::thread::id poster;
    bool finished = false;  // ran or was dropped
    bool ran = false;
    std::exception_ptr error;
    std::condition_variable done;
  };
  void Run(const std::shared_ptr<Item>& item);
  // Serves until done() or until the deadline (none: no limit), only the
  // steps of the posters from accepts when it is given.
  bool Serve(const std::function<bool()>& done,
             const std::chrono::steady_clock::time_point* deadline,
             const std::function<bool(std::thread::id)>* from = nullptr);

  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::shared_ptr<Item>> pending_;
  std::function<void()> wakeUp_;
  std::thread::id uiThread_;
  bool closed_ = false;
};

}  // namespace qm
