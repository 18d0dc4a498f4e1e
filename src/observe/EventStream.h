// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "core/ConnectionTree.h"
#include "core/Telemetry.h"
#include "observe/ConnectionEvent.h"
#include "observe/ControlEvent.h"

namespace qm {

// What a sink of the event stream is told. Every call comes on the
// user-interface thread, except Reading (the reading's thread, too).
// Defaults do nothing.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void Connection(const ConnectionEvent& /*event*/) {}
  virtual void Control(const ControlEvent& /*event*/) {}
  // One reading of the server's state and how long it took.
  virtual void Reading(bool /*ok*/, double /*seconds*/) {}
  // A tick ended; the monitor's state is its result.
  virtual void TickFinished(const Monitor& /*monitor*/, double /*seconds*/) {}
};

// A sink's place in a stream. It ends with its owner: a sink held by the
// owner of its subscription is never told anything after that owner went.
// It may outlive its stream.
class Subscription {
 public:
  Subscription() = default;
  ~Subscription() { Reset(); }
  Subscription(Subscription&& other) noexcept;
  Subscription& operator=(Subscription&& other) noexcept;
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  // Ends the subscription now; once it returns, the sink is not called.
  void Reset();
  explicit operator bool() const { return sink_ != nullptr; }

 private:
  friend class EventStream;
  struct Sinks {
    // Held while sinks are told, so a subscription that ends waits for
    // a reading's call in progress. Recursive: a sink may publish.
    std::recursive_mutex mutex;
    std::vector<EventSink*> sinks;
  };
  Subscription(std::weak_ptr<Sinks> sinks, EventSink* sink)
      : sinks_(std::move(sinks)), sink_(sink) {}
  std::weak_ptr<Sinks> sinks_;
  EventSink* sink_ = nullptr;
};

// The one producer of what happened: turns the current tree's inserts and
// removals, the monitor's reports (a disconnection asked, a lookup's
// result, a security finding, a reading, a tick's end) and the facts
// published from outside a reading into typed events, once, for every
// subscribed sink. Remembers the rule that disconnected a user until that
// user's end, so the end names it.
class EventStream final : public TreeObserver, public Telemetry {
 public:
  // now: wall-clock seconds since the epoch.
  explicit EventStream(std::function<double()> now = &WallClockSeconds);

  [[nodiscard]] Subscription Subscribe(EventSink& sink);

  // A fact that does not come from a tick's changes (a control action, an
  // audit record that arrived between ticks): told to every sink as it
  // is. An event without a time gets the present one.
  void Publish(ConnectionEvent event);
  void Publish(ControlEvent event);

  // TreeObserver of the current tree
  void NodeInserted(TreeNode& node) override;
  void NodeAboutToBeRemoved(TreeNode& node) override;
  // Telemetry of the monitor
  void ServerReading(bool ok, double seconds) override;
  void Disconnecting(const TUser& user, DisconnectRule rule) override;
  void SecurityChanged(const TUser& user, const SessionSecurity& before) override;
  // A found address or host name is an event of its own: a client that is
  // disconnected before its user's end still leaves where it came from.
  void LookupFinished(const TUser& user, bool found) override;
  void TickFinished(const Monitor& monitor, double seconds) override;

  static double WallClockSeconds();

 private:
  static void Describe(const TUser& user, ConnectionEvent& e);
  // The event of a node, as a begin or end.
  ConnectionEvent Event(TreeNode& node, bool begin);
  void Emit(TreeNode& node, bool begin);
  // A security finding on the user of node (its share: share's node).
  void Finding(TreeNode& node, ConnectionEvent::Finding finding);
  template <typename F>
  void Tell(const F& tell);

  std::function<double()> now_;
  std::shared_ptr<Subscription::Sinks> sinks_ = std::make_shared<Subscription::Sinks>();
  std::unordered_map<const TUser*, DisconnectRule> rules_;
  std::unordered_map<const TUser*, TreeNode*> nodes_;  // current users' nodes
};

}  // namespace qm
