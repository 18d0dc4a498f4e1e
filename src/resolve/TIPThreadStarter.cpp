// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "resolve/TIPThreadStarter.h"

#include <algorithm>
#include <thread>
#include <unordered_set>

#include "resolve/LookupUserName.h"

namespace qm {

TIPThreadStarter::~TIPThreadStarter() {
  JoinReleased();
}

std::unique_ptr<LookupThread> TIPThreadStarter::StartLookup(TUser& user) {
  // A user that came with its address asks for no capture.
  if (services_.LookupStarting && user.ClientAddress.empty()) services_.LookupStarting();
  auto thread = std::make_unique<TIPThread>(user, services_);
  thread->Start();
  return thread;
}

void TIPThreadStarter::Release(std::vector<std::unique_ptr<LookupThread>> threads) {
  // A join costs the kernel's freeing of the thread's stack, some
  // microseconds: a crowd that left is let go of over a few sweeps.
  const auto reapUntil = std::chrono::steady_clock::now() + kReapBudget;
  std::erase_if(released_, [&](const std::unique_ptr<TIPThread>& t) {
    if (!t->Finished() || std::chrono::steady_clock::now() >= reapUntil) return false;
    t->WaitFor();  // a join that returns at once
    return true;
  });
  std::vector<TIPThread*> leaving;
  std::unordered_set<std::thread::id> posters;
  for (auto& thread : threads) {
    auto* own = dynamic_cast<TIPThread*>(thread.get());
    if (!own) {
      // Not one of ours: nothing to abandon it by.
      thread->Terminate();
      thread->WaitFor();
      continue;
    }
    own->Terminate();
    leaving.push_back(own);
    posters.insert(own->Id());
    released_.emplace_back(static_cast<TIPThread*>(thread.release()));
  }
  if (leaving.empty()) return;
  // A lookup that has found something publishes it at its stop; most are
  // that quick, and a user that left keeps its address in the history.
  // Those that have found nothing would only publish "Not known".
  if (services_.Steps->OnUiThread()) {
    services_.Steps->ServeFromFor(
        [&posters](std::thread::id poster) { return posters.contains(poster); },
        [&leaving] {
          return std::all_of(leaving.begin(), leaving.end(),
                             [](const TIPThread* t) { return t->Finished() || !t->Found(); });
        },
        kReleaseGrace);
  }
  for (TIPThread* thread : leaving) thread->Abandon();
}

void TIPThreadStarter::JoinReleased() {
  std::unordered_set<std::thread::id> posters;
  for (auto& thread : released_) {
    thread->Abandon();
    posters.insert(thread->Id());
  }
  // An abandoned thread's steps do nothing, so the steps of every released
  // thread are served as they come: a crowd of thousands then ends in one
  // pass, where serving one thread's steps at a time walks the others'
  // again for each. Live lookups' steps stay for the loop.
  UiStepQueue* steps = services_.Steps;
  if (steps && steps->OnUiThread()) {
    const std::function<bool(std::thread::id)> released = [&posters](std::thread::id poster) {
      return posters.contains(poster);
    };
    for (auto& thread : released_) {
      steps->ServeUntilFrom(released, [&thread] { return thread->Finished(); });
    }
  }
  for (auto& thread : released_) thread->WaitFor();
  released_.clear();
}

LookupServices TIPThreadStarter::ForMonitor(Monitor& monitor, UiStepQueue& steps,
                                            const NameTable& names) {
  LookupServices s;
  s.IsNT = monitor.IsNT();
  s.Steps = &steps;
  s.LookupAddress = [&names](const std::string& computerName, std::stop_token stop) {
    return names.LookupAddress(computerName, std::move(stop));
  };
  s.LookupHostName = [&names](const std::string& address, std::stop_token stop) {
    return names.HostNameOf(address, std::move(stop));
  };
  s.LookupStarting = [&names] { names.ExpectLookup(); };
  s.LookupUserName = [&monitor](const std::string& computerName, bool& releaseFailed) {
    return LookupUserName(monitor.Api(), computerName, releaseFailed);
  };
  s.RefreshInfoPanel = [&monitor] {
    monitor.ShowInfo(monitor.TreeView(monitor.View().CurrentPageActive()));
  };
  s.Fatal = [&monitor](const std::string& text) { monitor.Fatal(text); };
  s.Finished = [&monitor](const TUser& user, bool found) {
    monitor.Metrics().LookupFinished(user, found);
  };
  return s;
}

}  // namespace qm
