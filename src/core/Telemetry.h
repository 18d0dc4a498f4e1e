// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>

#include "core/SessionSecurity.h"

namespace qm {

class Monitor;
class TUser;

// Why a user was disconnected.
enum class DisconnectRule {
  Command,         // the administrator's command
  DisconnectList,  // a client on the Disconnect List
  All,             // the disconnect status "all"
  Idle,            // longer idle than allowed
  MaximumUsers,    // more users than allowed
  AddressFilter,   // an address outside the filter
  ProgramWatch,    // a watched program runs
};

// What the monitor counts and measures for the tools that watch a fleet of
// servers (metrics, journal). Every call comes on the user-interface thread
// except where it says otherwise; defaults do nothing.
class Telemetry {
 public:
  virtual ~Telemetry() = default;
  // One reading of the server's state, successful or not, and how long it
  // took. May come from the thread that takes the reading.
  virtual void ServerReading(bool /*ok*/, double /*seconds*/) {}
  // A user's sessions are about to be ended by a rule or a command.
  virtual void Disconnecting(const TUser& /*user*/, DisconnectRule /*rule*/) {}
  // An address lookup published its result (found or "Not known").
  virtual void LookupFinished(const TUser& /*user*/, bool /*found*/) {}
  // What the server tells of a current user's sessions changed at this
  // tick (a new user has it from the start); before: what it was.
  virtual void SecurityChanged(const TUser& /*user*/, const SessionSecurity& /*before*/) {}
  // A tick ended; seconds is its duration. The monitor's state is the
  // tick's result and may be copied.
  virtual void TickFinished(const Monitor& /*monitor*/, double /*seconds*/) {}
};

}  // namespace qm
