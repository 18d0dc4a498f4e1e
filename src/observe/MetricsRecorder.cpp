// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/MetricsRecorder.h"

#include <algorithm>
#include <utility>

#include "core/Monitor.h"

namespace qm {

namespace {
// "Not known yet" and "Not known" make no label worth a series.
std::string Known(const std::string& text) {
  return text == kNotKnownYet || text == kNotKnown ? std::string() : text;
}

std::size_t StatusIndex(int status) {
  return static_cast<std::size_t>(status & 0x7F);
}
}  // namespace

MetricsRecorder::MetricsRecorder(Options options)
    : options_(std::move(options)), snapshot_(std::make_shared<MetricsSnapshot>()) {}

void MetricsRecorder::Reading(bool ok, double seconds) {
  const std::lock_guard<std::mutex> lock(mutex_);
  readingSeconds_.Observe(seconds);
  if (!ok) ++readingsFailed_;
}

void MetricsRecorder::Connection(const ConnectionEvent& e) {
  using Type = ConnectionEvent::Type;
  switch (e.type) {
    case Type::Begin:
    case Type::End: {
      if (e.kind == ConnectionEvent::Kind::Security) return;
      const auto kind = static_cast<std::size_t>(e.kind);  // user, share, file
      const std::size_t status = StatusIndex(e.status);
      if (status < kStatusCount) {
        ++(e.type == Type::Begin ? counts_.visitsBegun : counts_.visitsEnded)[kind][status];
      }
      return;
    }
    case Type::Disconnect:
      if (e.rule && static_cast<std::size_t>(*e.rule) < counts_.disconnections.size()) {
        ++counts_.disconnections[static_cast<std::size_t>(*e.rule)];
      }
      return;
    case Type::Found:
      ++counts_.lookupsFound;
      return;
    case Type::NotFound:
      ++counts_.lookupsNotKnown;
      return;
  }
}

void MetricsRecorder::TickFinished(const Monitor& monitor, double seconds) {
  counts_.tickSeconds.Observe(seconds);
  auto next = std::make_shared<MetricsSnapshot>();
  MetricsSnapshot& s = *next;
  // The counters, then this tick's gauges.
  s.visitsBegun = counts_.visitsBegun;
  s.visitsEnded = counts_.visitsEnded;
  s.disconnections = counts_.disconnections;
  s.lookupsFound = counts_.lookupsFound;
  s.lookupsNotKnown = counts_.lookupsNotKnown;
  s.tickSeconds = counts_.tickSeconds;
  s.users = monitor.CurrentUserCount;
  s.formerUsers = monitor.FormerUserCount;
  s.openFiles = monitor.OpenFileCount;
  s.disconnectStatus = monitor.Rules().WhoToKick();
  s.serverReadable = monitor.ServerStateRead;
  s.version = options_.version;
  TDateTime oldest = 0;
  for (const UserEntry& entry : monitor.Users) {
    const TUser* user = entry.User();
    if (user && user->EnterTime > 0 && (oldest == 0 || user->EnterTime < oldest)) {
      oldest = user->EnterTime;
    }
    if (user && options_.listed && options_.listed(*user)) ++s.listedUsers;
    if (user) {
      const SessionSecurity& f = user->Security;
      ++s.protocols[{f.node, f.dialect, f.signing, f.encryption}];
      for (const std::string& share : f.unencryptedShares) ++s.unencryptedShareUsers[share];
    }
    for (const ShareEntry& share : entry.Shares) {
      MetricsSnapshot::ShareUse& use = s.shares[share.Name];
      ++use.connections;
      use.openFiles += static_cast<int>(share.Files.size());
    }
    if (options_.clientInfo && user) {
      s.clients.push_back(
          {entry.Name, Known(user->UserName), Known(user->IPAddress), Known(user->HostName)});
    }
  }
  // A clock set back must not make a negative age.
  if (oldest > 0) s.oldestSessionSeconds = std::max(0.0, (monitor.Now() - oldest) * 86400.0);
  std::shared_ptr<const MetricsSnapshot> previous;  // freed after the lock
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    s.readingSeconds = readingSeconds_;
    s.readingsFailed = readingsFailed_;
    previous = std::exchange(snapshot_, std::move(next));
  }
}

std::shared_ptr<const MetricsSnapshot> MetricsRecorder::Snapshot() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return snapshot_;
}

}  // namespace qm
