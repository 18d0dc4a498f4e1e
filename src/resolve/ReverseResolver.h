// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace qm {

// Host names of addresses, asked of the system's resolver through c-ares,
// asynchronously: one thread drives every query over one channel, and a
// caller told to stop leaves its wait at once (its query runs out on that
// thread). A name server that never answers costs a caller at most the
// time-outs below, and costs nothing to a caller that stops.
class ReverseResolver {
 public:
  struct Options {
    // Each try waits this long (c-ares doubles it for later tries).
    std::chrono::milliseconds timeout{700};
    int tries = 2;
    // "host:port,..." of the name servers; empty: the system's.
    std::string servers;
    // c-ares's lookup order: "f" files, "b" DNS; empty: the system's.
    std::string lookups;
  };

  explicit ReverseResolver(const Options& options);
  ReverseResolver() : ReverseResolver(Options{}) {}
  // Ends every query and waits for the thread.
  ~ReverseResolver();
  ReverseResolver(const ReverseResolver&) = delete;
  ReverseResolver& operator=(const ReverseResolver&) = delete;

  // The name of a numeric IPv4 or IPv6 address (an IPv6 one may carry a
  // zone, "%eth0"), or "Not known": for no name, a failed or timed-out
  // query, text that is no address, a resolver that could not be set up,
  // and a stop.
  std::string HostName(const std::string& address, std::stop_token stop);

  // Why the resolver could not be set up; empty when it was.
  const std::string& SetupError() const { return setupError_; }

  struct Query;

 private:
  void Run(std::stop_token stop);
  void Wake();

  std::chrono::milliseconds longest_;
  std::string setupError_;
  void* channel_ = nullptr;  // ares_channel, used on the thread only
  bool ready_ = false;
  int wake_ = -1;  // eventfd
  std::mutex mutex_;
  std::vector<std::shared_ptr<Query>> submitted_;
  std::jthread thread_;
};

}  // namespace qm
