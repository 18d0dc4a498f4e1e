// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include "core/Monitor.h"
#include "core/Ports.h"
#include "core/ProcessList.h"
#include "enforce/DisconnectList.h"
#include "enforce/DisconnectStatus.h"
#include "enforce/DisconnectStatusPanel.h"
#include "enforce/ProgramList.h"
#include "enforce/ProgramWatcher.h"
#include "enforce/SessionDisconnector.h"

namespace qm {

// Disconnect enforcement as one piece: the disconnect status (shown in
// the status bar's first panel), the Disconnect List, the program list,
// the program watch and the session disconnection, applied at every tick
// once Monitor::SetRules points here.
class EnforcementRules final : public TickRules {
 public:
  // processes: the process list the watch reads; null when there is none.
  EnforcementRules(Monitor& monitor, ProcessList* processes);
  ~EnforcementRules() override;
  EnforcementRules(const EnforcementRules&) = delete;
  EnforcementRules& operator=(const EnforcementRules&) = delete;

  KickStatus WhoToKick() const override { return status_.WhoToKick(); }
  // QuakeNT on the NT family, Quake95 otherwise.
  void ProgramWatch() override;
  void KickLastUser() override { disconnector_.KickLastUser(); }
  // While the program watch forces the status "all", it is the watch that
  // disconnects.
  void KickAllUsers() override {
    disconnector_.KickAllUsers(watcher_.QuakeActive() ? DisconnectRule::ProgramWatch
                                                      : DisconnectRule::All);
  }
  void KickListIdle() override { disconnector_.KickListIdle(); }

  DisconnectStatus& Status() { return status_; }
  DisconnectList& List() { return list_; }
  ProgramList& Programs() { return programs_; }
  ProgramWatcher& Watcher() { return watcher_; }
  SessionDisconnector& Disconnector() { return disconnector_; }

 private:
  Monitor& m_;
  DisconnectStatus status_;
  DisconnectList list_;
  ProgramList programs_;
  DisconnectStatusPanel panel_;
  ProgramWatcher watcher_;
  SessionDisconnector disconnector_;
};

}  // namespace qm
