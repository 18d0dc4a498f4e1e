// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <atomic>
#include <functional>
#include <thread>

struct MHD_Daemon;

namespace qm {

// The thread that runs a libmicrohttpd daemon started without one of its
// own (MHD_USE_EPOLL): it waits on the daemon's epoll descriptor and on a
// wake of its own, runs the daemon, then between: the caller's work (the
// deadlines, which must be kept on the thread that owns the connections).
// A connection resumed from another thread is served at once only when
// Wake follows the resume.
class DaemonLoop {
 public:
  DaemonLoop();
  ~DaemonLoop();
  DaemonLoop(const DaemonLoop&) = delete;
  DaemonLoop& operator=(const DaemonLoop&) = delete;

  // between: at least every quarter of a second.
  void Start(MHD_Daemon* daemon, std::function<void()> between);
  // Returns once the thread has ended; the daemon is the caller's to stop.
  void Stop();
  void Wake();

 private:
  void Run();

  MHD_Daemon* daemon_ = nullptr;
  std::function<void()> between_;
  int wake_ = -1;
  std::atomic<bool> running_{false};
  std::thread thread_;
};

}  // namespace qm
