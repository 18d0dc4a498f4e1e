// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "resolve/TIPThread.h"

#include <condition_variable>
#include <exception>
#include <mutex>

#include "thread/BackgroundPriority.h"

namespace qm {

namespace {

void InterruptibleSleep(std::chrono::milliseconds pause, std::stop_token stop) {
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait_for(lock, stop, pause, [] { return false; });
}

}  // namespace

TIPThread::TIPThread(TUser& user, const LookupServices& services)
    : LookupName(user.Name), KnownAddress(user.ClientAddress), User(user), services_(services) {}

TIPThread::~TIPThread() {
  if (thread_.joinable()) {
    Terminate();
    WaitFor();
  }
}

void TIPThread::Start() {
  if (thread_.joinable() || finished_.load()) return;
  thread_ = std::jthread([this](std::stop_token stop) { Execute(std::move(stop)); });
}

void TIPThread::Terminate() {
  thread_.request_stop();
}

void TIPThread::Abandon() {
  abandoned_.store(true);
  thread_.request_stop();
}

void TIPThread::WaitFor() {
  if (!thread_.joinable()) return;
  if (services_.Steps->OnUiThread()) {
    services_.Steps->ServeUntilFrom(thread_.get_id(), [this] { return finished_.load(); });
  }
  thread_.join();
}

void TIPThread::Execute(std::stop_token stop) {
  LowerThisThreadsPriority();
  try {
    Attempts(std::move(stop));
  } catch (const std::exception& e) {
    // Nothing published: the sweep turns the user's remaining "Not known
    // yet" texts into "Not known".
    failure_ = e.what();
  }
  finished_.store(true);
  services_.Steps->Notify();
}

void TIPThread::Attempts(std::stop_token stop) {
  if (!services_.IsNT) FoundUserName = kNotKnown;
  FoundAddress = kNotKnown;
  FoundHostName = kNotKnown;
  for (int attempt = 1;; ++attempt) {
    if (!services_.IsNT && FoundUserName == kNotKnown) FoundUserName = LookupUserName();
    // A found address is kept, even when its host name stayed unknown.
    if (FoundAddress == kNotKnown && !KnownAddress.empty()) {
      FoundAddress = KnownAddress;
      try {
        if (services_.LookupHostName) FoundHostName = services_.LookupHostName(KnownAddress, stop);
      } catch (const std::exception& e) {
        // The address stays found; only its host name is not known.
        FoundHostName = kNotKnown;
        failure_ = e.what();
      }
    } else if (FoundAddress == kNotKnown) {
      try {
        AddressResult found = services_.LookupAddress(LookupName, stop);
        FoundAddress = std::move(found.Address);
        FoundHostName = std::move(found.HostName);
      } catch (const std::exception& e) {
        FoundAddress = kNotKnown;
        FoundHostName = kNotKnown;
        failure_ = e.what();
      }
    }
    const bool nameDone = services_.IsNT || FoundUserName != kNotKnown;
    // An address the user came with is no news to publish.
    const bool newAddress = FoundAddress != kNotKnown && KnownAddress.empty();
    if (newAddress || FoundHostName != kNotKnown ||
        (!services_.IsNT && FoundUserName != kNotKnown)) {
      found_.store(true);
    }
    if (nameDone && FoundAddress != kNotKnown) break;
    if (stop.stop_requested()) break;
    if (services_.Sleep) {
      services_.Sleep(kPause, stop);
    } else {
      InterruptibleSleep(kPause, stop);
    }
    // A stop that came during the pause ends this attempt: the user has
    // left.
    if (attempt == kAttempts || stop.stop_requested()) break;
  }
  Synchronize([this] { PublishResults(); });
  Synchronize([this] {
    if (services_.RefreshInfoPanel) services_.RefreshInfoPanel();
  });
}

std::string TIPThread::LookupUserName() {
  bool releaseFailed = false;
  std::string name = kNotKnown;
  try {
    if (services_.LookupUserName) name = services_.LookupUserName(LookupName, releaseFailed);
  } catch (const std::exception& e) {
    name = kNotKnown;
    failure_ = e.what();
  }
  if (releaseFailed) {
    Synchronize([this] {
      if (services_.Fatal) services_.Fatal("Debug: SessionsExit");
    });
  }
  return name;
}

void TIPThread::PublishResults() {
  // On the NT family UserName came with the connection record.
  if (!services_.IsNT) User.UserName = FoundUserName;
  User.IPAddress = FoundAddress;
  User.HostName = FoundHostName;
  if (services_.UpdateAddress) services_.UpdateAddress(User.Name, User.IPAddress);
  if (services_.Finished) services_.Finished(User, User.IPAddress != kNotKnown);
}

void TIPThread::Synchronize(const std::function<void()>& step) {
  if (abandoned_.load()) return;
  services_.Steps->Execute([this, &step] {
    if (!abandoned_.load()) step();
  });
}

}  // namespace qm
