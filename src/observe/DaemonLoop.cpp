// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/DaemonLoop.h"

#include <microhttpd.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>

namespace qm {

namespace {
constexpr int kLongestWaitMilliseconds = 250;
}

DaemonLoop::DaemonLoop() {
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

DaemonLoop::~DaemonLoop() {
  Stop();
  if (wake_ >= 0) ::close(wake_);
}

void DaemonLoop::Start(MHD_Daemon* daemon, std::function<void()> between) {
  Stop();
  daemon_ = daemon;
  between_ = std::move(between);
  running_ = true;
  thread_ = std::thread([this] { Run(); });
}

void DaemonLoop::Stop() {
  running_ = false;
  Wake();
  if (thread_.joinable()) thread_.join();
}

void DaemonLoop::Wake() {
  if (wake_ >= 0) ::eventfd_write(wake_, 1);
}

void DaemonLoop::Run() {
  const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_EPOLL_FD);
  const int epoll = info ? info->epoll_fd : -1;
  while (running_) {
    int wait = kLongestWaitMilliseconds;
    MHD_UNSIGNED_LONG_LONG due = 0;
    if (MHD_get_timeout(daemon_, &due) == MHD_YES) {
      wait = static_cast<int>(std::min<MHD_UNSIGNED_LONG_LONG>(due, wait));
    }
    pollfd fds[2] = {{wake_, POLLIN, 0}, {epoll, POLLIN, 0}};
    ::poll(fds, epoll >= 0 ? 2 : 1, wait);
    if (fds[0].revents & POLLIN) {
      eventfd_t drained;
      ::eventfd_read(wake_, &drained);
    }
    MHD_run(daemon_);
    between_();
  }
}

}  // namespace qm
