// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace qm {

// Captures of the session listings, shared by every lookup that waits for
// one. A capture serves each lookup that asked before it began, so a crowd
// of lookups costs one capture per round of attempts, not one per user. The
// captures run one at a time on a thread of their own; a lookup told to
// stop leaves its wait at once, and a capture nobody waits for any more is
// cancelled (its tool ended).
//
// A crowd's lookups ask one after another while their threads are still
// being started, so a capture does not begin at the first request: it
// waits until no lookup has asked or been started for a moment (quiet), or
// until the first has waited the longest a crowd may gather (limit). A lone
// lookup costs the quiet moment only.
class ListingCapture {
 public:
  // Client name -> address text.
  using Table = std::unordered_map<std::string, std::string>;
  // Takes one capture; null when it failed. cancel is requested when no
  // lookup waits for it any more or the capture object goes.
  using CaptureFunction = std::function<std::shared_ptr<const Table>(std::stop_token cancel)>;
  using Clock = std::chrono::steady_clock;

  static constexpr std::chrono::milliseconds kGatherQuiet{10};
  static constexpr std::chrono::milliseconds kGatherLimit{300};

  explicit ListingCapture(CaptureFunction capture,
                          std::chrono::milliseconds gatherQuiet = kGatherQuiet,
                          std::chrono::milliseconds gatherLimit = kGatherLimit);
  // Cancels a running capture and waits for its thread.
  ~ListingCapture();
  ListingCapture(const ListingCapture&) = delete;
  ListingCapture& operator=(const ListingCapture&) = delete;

  // The table of a capture that began after this call; null when that
  // capture failed or stop was requested before it ended. A lookup already
  // told to stop gets null at once and starts nothing.
  std::shared_ptr<const Table> Await(std::stop_token stop);
  // A lookup is being started and will ask soon: a crowd still being
  // started keeps gathering, even while its first threads are slow to ask.
  void Expect();

  // Captures begun so far.
  std::uint64_t Started() const;
  // Lookups waiting now, for the running capture or the next.
  int Waiting() const;

 private:
  void Run(std::stop_token stop);

  // Returns when the next capture may begin, at once when stopped (the
  // capture then ends at once and serves its lookups nothing).
  void Gather(std::unique_lock<std::mutex>& lock, const std::stop_token& stop);

  CaptureFunction capture_;
  const std::chrono::milliseconds gatherQuiet_;
  const std::chrono::milliseconds gatherLimit_;
  mutable std::mutex mutex_;
  // Each lookup waits on its own condition, so that a stop wakes only the
  // lookup told to stop, not the whole crowd.
  std::unordered_set<std::condition_variable_any*> waiters_;
  std::condition_variable_any work_;  // the capture thread's
  std::uint64_t started_ = 0;         // captures begun
  std::uint64_t finished_ = 0;        // captures ended
  int waitingForNext_ = 0;            // lookups the next capture will serve
  int waitingForRunning_ = 0;         // lookups the running capture serves
  Clock::time_point firstRequest_;    // of those waiting for the next capture
  Clock::time_point lastRequest_;     // or start of a lookup
  std::stop_source cancelRunning_;
  std::shared_ptr<const Table> latest_;
  std::jthread thread_;  // last: it uses everything above
};

}  // namespace qm
