// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <functional>
#include <unordered_map>

#include "core/ConnectionTree.h"
#include "core/Telemetry.h"
#include "observe/ConnectionEvent.h"

namespace qm {

// Turns the current tree's inserts and removals into connection events
// for a writer (JSON lines, the journal). Remembers the rule that
// disconnected a user until that user's end, so the end names it.
class EventStream final : public TreeObserver, public Telemetry {
 public:
  using Sink = std::function<void(const ConnectionEvent&)>;
  // now: wall-clock seconds since the epoch.
  EventStream(Sink sink, std::function<double()> now);

  void NodeInserted(TreeNode& node) override;
  void NodeAboutToBeRemoved(TreeNode& node) override;
  void Disconnecting(const TUser& user, DisconnectRule rule) override;
  void SecurityChanged(const TUser& user, const SessionSecurity& before) override;
  // A found address or host name is an event of its own: a client that is
  // disconnected before its user's end still leaves where it came from.
  void LookupFinished(const TUser& user, bool found) override;

 private:
  static void Describe(const TUser& user, ConnectionEvent& e);
  // The event of a node, as a begin or end.
  ConnectionEvent Event(TreeNode& node, bool begin);
  void Emit(TreeNode& node, bool begin);
  // A security finding on the user of node (its share: share's node).
  void Finding(TreeNode& node, ConnectionEvent::Finding finding);

  Sink sink_;
  std::function<double()> now_;
  std::unordered_map<const TUser*, DisconnectRule> rules_;
  std::unordered_map<const TUser*, TreeNode*> nodes_;  // current users' nodes
};

}  // namespace qm
