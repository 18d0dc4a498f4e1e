// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <functional>
#include <string>

#include "control/ControlServer.h"
#include "core/Monitor.h"
#include "core/Telemetry.h"
#include "enforce/EnforcementRules.h"
#include "observe/ControlEvent.h"

namespace qm {

// What the control socket's requests do, on the monitor's thread between
// two ticks: reads of the status, the trees, the lists and the settings,
// and changes through the same objects the desktop program's commands
// use; the front end stores what changed before it answers. Every change is
// recorded with the uid of who asked.
class ControlService final : public Telemetry {
 public:
  struct Hooks {
    // Every change, once it is done; a disconnection also when the
    // server refused it or found nothing to end (with its outcome).
    std::function<void(const ControlEvent&)> record;
    // The Refresh setting changed: the timer's interval, milliseconds.
    std::function<void(int milliseconds)> refreshChanged;
    // The Launch setting changed: registered or not; false when refused.
    std::function<bool(bool enabled)> setStartupRegistration;
    // Wall-clock seconds since the epoch, for the events.
    std::function<double()> now;
  };

  ControlService(Monitor& monitor, EnforcementRules& rules, Hooks hooks);

  // Fills in the request's answer.
  void Handle(ControlRequest& request);

  // The last tick's wall-clock time, for the status.
  void TickFinished(const Monitor& monitor, double seconds) override;

 private:
  struct Answer;
  Answer Route(ControlRequest& request);
  Answer Status();
  Answer Users();
  Answer History(const ControlRequest& request);
  Answer Disconnect(const ControlRequest& request);
  Answer DisconnectList();
  Answer AddToList(const ControlRequest& request);
  Answer RemoveFromList(const ControlRequest& request);
  Answer DisconnectStatus();
  Answer SetDisconnectStatus(const ControlRequest& request);
  Answer Settings();
  Answer SetSettings(const ControlRequest& request);
  ControlEvent Event(const ControlRequest& request, const std::string& action,
                     const std::string& target) const;
  void Record(const ControlRequest& request, const std::string& action, const std::string& target);

  Monitor& m_;
  EnforcementRules& rules_;
  Hooks hooks_;
  TDateTime lastTick_ = 0;
};

}  // namespace qm
