// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/EventStream.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "core/Monitor.h"

namespace qm {

namespace {
// "Not known yet" and "Not known" say nothing a log reader can use.
std::string Known(const std::string& text) {
  return text == kNotKnownYet || text == kNotKnown ? std::string() : text;
}
}  // namespace

const char* KindName(ConnectionEvent::Kind kind) {
  switch (kind) {
    case ConnectionEvent::Kind::User:
      return "user";
    case ConnectionEvent::Kind::Share:
      return "share";
    case ConnectionEvent::Kind::File:
      return "file";
    case ConnectionEvent::Kind::Security:
      return "security";
  }
  return "file";
}

const char* TypeName(ConnectionEvent::Type type) {
  switch (type) {
    case ConnectionEvent::Type::Begin:
      return "begin";
    case ConnectionEvent::Type::End:
      return "end";
    case ConnectionEvent::Type::Found:
      return "found";
    case ConnectionEvent::Type::NotFound:
      return "not_found";
    case ConnectionEvent::Type::Disconnect:
      return "disconnect";
  }
  return "found";
}

std::string FoundText(const std::string& address, const std::string& host) {
  const auto known = [](const std::string& text) {
    return Known(text).empty() ? std::string("not known") : text;
  };
  return "address " + known(address) + ", host " + known(host);
}

const char* FindingName(ConnectionEvent::Finding finding) {
  switch (finding) {
    case ConnectionEvent::Finding::Smb1:
      return "smb1";
    case ConnectionEvent::Finding::Unsigned:
      return "unsigned";
    case ConnectionEvent::Finding::Unencrypted:
      return "unencrypted";
    case ConnectionEvent::Finding::None:
      break;
  }
  return "";
}

bool Written(const ConnectionEvent& event) {
  return event.type != ConnectionEvent::Type::NotFound &&
         event.type != ConnectionEvent::Type::Disconnect;
}

Subscription::Subscription(Subscription&& other) noexcept
    : sinks_(std::move(other.sinks_)), sink_(std::exchange(other.sink_, nullptr)) {}

Subscription& Subscription::operator=(Subscription&& other) noexcept {
  if (this != &other) {
    Reset();
    sinks_ = std::move(other.sinks_);
    sink_ = std::exchange(other.sink_, nullptr);
  }
  return *this;
}

void Subscription::Reset() {
  if (!sink_) return;
  if (const std::shared_ptr<Sinks> sinks = sinks_.lock()) {
    const std::lock_guard lock(sinks->mutex);
    std::erase(sinks->sinks, sink_);
  }
  sinks_.reset();
  sink_ = nullptr;
}

EventStream::EventStream(std::function<double()> now) : now_(std::move(now)) {}

double EventStream::WallClockSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

Subscription EventStream::Subscribe(EventSink& sink) {
  const std::lock_guard lock(sinks_->mutex);
  sinks_->sinks.push_back(&sink);
  return Subscription(sinks_, &sink);
}

template <typename F>
void EventStream::Tell(const F& tell) {
  const std::lock_guard lock(sinks_->mutex);
  // By index: a sink told may end another's subscription.
  for (std::size_t i = 0; i < sinks_->sinks.size(); ++i) tell(*sinks_->sinks[i]);
}

void EventStream::Publish(ConnectionEvent event) {
  if (event.time == 0) event.time = now_();
  Tell([&event](EventSink& sink) { sink.Connection(event); });
}

void EventStream::Publish(ControlEvent event) {
  if (event.time == 0) event.time = now_();
  Tell([&event](EventSink& sink) { sink.Control(event); });
}

void EventStream::ServerReading(bool ok, double seconds) {
  Tell([&](EventSink& sink) { sink.Reading(ok, seconds); });
}

void EventStream::TickFinished(const Monitor& monitor, double seconds) {
  Tell([&](EventSink& sink) { sink.TickFinished(monitor, seconds); });
}

void EventStream::Disconnecting(const TUser& user, DisconnectRule rule) {
  rules_[&user] = rule;
  ConnectionEvent e;
  e.type = ConnectionEvent::Type::Disconnect;
  e.kind = ConnectionEvent::Kind::User;
  e.status = stKicked;
  e.client = user.Name;
  e.rule = rule;
  e.security = user.Security;
  Describe(user, e);
  Publish(std::move(e));
}

void EventStream::LookupFinished(const TUser& user, bool found) {
  ConnectionEvent e;
  e.type = found ? ConnectionEvent::Type::Found : ConnectionEvent::Type::NotFound;
  e.kind = ConnectionEvent::Kind::User;
  e.status = user.EnterStatus & 0x7F;
  e.client = user.Name;
  Describe(user, e);
  Publish(std::move(e));
}

void EventStream::Describe(const TUser& user, ConnectionEvent& e) {
  e.account = Known(user.UserName);
  e.address = Known(user.IPAddress);
  e.host = Known(user.HostName);
}

void EventStream::NodeInserted(TreeNode& node) {
  Emit(node, true);
  const TUser* user = Monitor::UserOfNode(&node);
  if (!user) return;
  const SessionSecurity& s = user->Security;
  if (node.Level() == 0) {
    nodes_[user] = &node;
    if (s.Smb1()) Finding(node, ConnectionEvent::Finding::Smb1);
    if (s.Unsigned()) Finding(node, ConnectionEvent::Finding::Unsigned);
  } else if (node.Level() == 1 && std::find(s.unencryptedShares.begin(), s.unencryptedShares.end(),
                                            node.Text()) != s.unencryptedShares.end()) {
    Finding(node, ConnectionEvent::Finding::Unencrypted);
  }
}

void EventStream::SecurityChanged(const TUser& user, const SessionSecurity& before) {
  // Only what is new is told: a finding already made stands.
  const auto found = nodes_.find(&user);
  if (found == nodes_.end()) return;
  TreeNode* node = found->second;
  const SessionSecurity& now = user.Security;
  if (now.Smb1() && !before.Smb1()) Finding(*node, ConnectionEvent::Finding::Smb1);
  if (now.Unsigned() && !before.Unsigned()) Finding(*node, ConnectionEvent::Finding::Unsigned);
  for (const std::string& share : now.unencryptedShares) {
    if (std::find(before.unencryptedShares.begin(), before.unencryptedShares.end(), share) !=
        before.unencryptedShares.end()) {
      continue;
    }
    for (int i = 0; i < node->ChildCount(); ++i) {
      if (node->Child(i)->Text() == share) {
        Finding(*node->Child(i), ConnectionEvent::Finding::Unencrypted);
      }
    }
  }
}

void EventStream::NodeAboutToBeRemoved(TreeNode& node) {
  // What goes with the node ends with it: files, then shares, then the user.
  for (int i = 0; i < node.ChildCount(); ++i) NodeAboutToBeRemoved(*node.Child(i));
  Emit(node, false);
  if (!node.Parent()) {
    rules_.erase(dynamic_cast<const TUser*>(node.Data()));
    nodes_.erase(dynamic_cast<const TUser*>(node.Data()));
  }
}

void EventStream::Emit(TreeNode& node, bool begin) {
  Publish(Event(node, begin));
}

void EventStream::Finding(TreeNode& node, ConnectionEvent::Finding finding) {
  ConnectionEvent e = Event(node, true);
  e.kind = ConnectionEvent::Kind::Security;
  e.finding = finding;
  Publish(std::move(e));
}

ConnectionEvent EventStream::Event(TreeNode& node, bool begin) {
  ConnectionEvent e;
  e.type = begin ? ConnectionEvent::Type::Begin : ConnectionEvent::Type::End;
  e.time = now_();
  const int level = node.Level();
  e.kind = level == 0   ? ConnectionEvent::Kind::User
           : level == 1 ? ConnectionEvent::Kind::Share
                        : ConnectionEvent::Kind::File;
  const TTreeNodeCustom* r = node.Data();
  const int fallback = begin ? stLoggedOn : stLoggedOff;
  e.status = r ? (begin ? r->EnterStatus : r->ExitStatus) : fallback;
  e.status &= 0x7F;
  TreeNode* top = &node;
  while (top->Parent()) {
    if (top->Level() == 1) e.share = top->Text();
    top = top->Parent();
  }
  if (level >= 2) e.path = node.Text();
  e.client = top->Text();
  if (const TUser* user = Monitor::UserOfNode(&node)) {
    Describe(*user, e);
    e.security = user->Security;
    if (!begin && e.status == stKicked) {
      if (auto it = rules_.find(user); it != rules_.end()) e.rule = it->second;
    }
  }
  return e;
}

}  // namespace qm
