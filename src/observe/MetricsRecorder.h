// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "observe/EventStream.h"
#include "observe/MetricsSnapshot.h"

namespace qm {

// A sink of the event stream: counts the visits that begin and end, the
// disconnections, the lookups and the readings and, at the end of every
// tick, makes the snapshot that scrapes read. Everything runs on the
// user-interface thread except Reading (any thread) and Snapshot (the
// scraping thread); those two hold a lock only for a copy.
class MetricsRecorder final : public EventSink {
 public:
  struct Options {
    // One info metric per current client (names and addresses as labels):
    // for small sites only.
    bool clientInfo = false;
    // Whether a current user is on the Disconnect List; unset: nobody is.
    std::function<bool(const TUser&)> listed;
    // The program's version, for the build-info metric.
    std::string version;
  };

  explicit MetricsRecorder(Options options);

  void Connection(const ConnectionEvent& event) override;
  void Reading(bool ok, double seconds) override;
  void TickFinished(const Monitor& monitor, double seconds) override;

  // The last tick's snapshot (an empty one before the first tick).
  std::shared_ptr<const MetricsSnapshot> Snapshot() const;

 private:
  Options options_;
  // Counted on the user-interface thread, copied into each snapshot.
  MetricsSnapshot counts_;

  mutable std::mutex mutex_;  // guards what follows
  Histogram readingSeconds_;
  std::uint64_t readingsFailed_ = 0;
  std::shared_ptr<const MetricsSnapshot> snapshot_;
};

}  // namespace qm
