// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <vector>

#include "core/Monitor.h"
#include "core/Ports.h"
#include "resolve/NameTable.h"
#include "resolve/TIPThread.h"
#include "thread/UiStepQueue.h"

namespace qm {

// Gives every new user its TIPThread, started. Must outlive every thread it
// starts (create it before the Monitor that uses it, or stop the users
// first).
class TIPThreadStarter final : public LookupStarter {
 public:
  // What a released lookup has to publish, it publishes within this time
  // (all of them together), or never.
  static constexpr std::chrono::milliseconds kReleaseGrace{3};
  // The time a release spends letting go of ended threads.
  static constexpr std::chrono::milliseconds kReapBudget{1};

  explicit TIPThreadStarter(LookupServices services) : services_(std::move(services)) {}
  // Joins the released threads.
  ~TIPThreadStarter() override;
  TIPThreadStarter(const TIPThreadStarter&) = delete;
  TIPThreadStarter& operator=(const TIPThreadStarter&) = delete;

  std::unique_ptr<LookupThread> StartLookup(TUser& user) override;
  // Released threads are kept until they have ended; each call lets go of
  // those that have.
  void Release(std::vector<std::unique_ptr<LookupThread>> threads) override;
  void JoinReleased() override;
  // Released threads not let go of yet.
  std::size_t ReleasedCount() const { return released_.size(); }

  // Change them only while no thread runs.
  LookupServices& Services() { return services_; }

  // The program's services: addresses from names, account names (95/98)
  // from the monitor's server binding, "Debug: " failures and the info
  // panel through the monitor, steps on steps. The server binding must be
  // loaded already; names, steps and monitor must outlive the threads.
  static LookupServices ForMonitor(Monitor& monitor, UiStepQueue& steps, const NameTable& names);

 private:
  LookupServices services_;
  std::vector<std::unique_ptr<TIPThread>> released_;
};

}  // namespace qm
