// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>

namespace qm {

// A change made through the control socket, with who asked for it.
struct ControlEvent {
  // disconnect, list_add, list_remove, disconnect_status, settings
  std::string action;
  // What it was done to: the client, the list entry, the new status, KEY=VALUE.
  std::string target;
  long uid = -1;    // the peer's user id; -1 when it could not be learnt
  double time = 0;  // wall-clock seconds since the epoch
  // A disconnection's: ended, refused or nothing ("" for other actions);
  // the address of the user it was asked for ("" when not known); why the
  // server refused.
  std::string outcome;
  std::string address;
  std::string reason;

  // "uid 1000: disconnect PC1", the text of the console's line and the
  // journal's message; a disconnection's outcome follows
  // ("uid 1000: disconnect PC1 at 10.0.0.1: refused, access denied (status 5)").
  std::string Text() const;
};

}  // namespace qm
