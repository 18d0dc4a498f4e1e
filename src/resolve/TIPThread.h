// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <stop_token>
#include <string>
#include <thread>

#include "core/Resources.h"
#include "resolve/NameTable.h"
#include "thread/UiStepQueue.h"

namespace qm {

// What the lookup threads of a program work with. The lookups run on the
// threads (so they must be safe to call from several at once); the other
// callbacks run on the user-interface thread only.
struct LookupServices {
  bool IsNT = true;
  UiStepQueue* Steps = nullptr;  // required
  // Returns at once, giving "Not known" for what it has not found, when
  // stop is requested.
  std::function<AddressResult(const std::string& computerName, std::stop_token stop)> LookupAddress;
  // The host name of an address the server gave with the user, or "Not
  // known"; empty: such a user's host name stays "Not known".
  std::function<std::string(const std::string& address, std::stop_token stop)> LookupHostName;
  // 95/98: the account name of a computer or "Not known"; releaseFailed is
  // set when the session enumeration could not be released.
  std::function<std::string(const std::string& computerName, bool& releaseFailed)> LookupUserName;
  // User-interface thread: a lookup is being started; may be empty.
  std::function<void()> LookupStarting;
  // Waits the given time or until stop is requested, whichever comes first.
  std::function<void(std::chrono::milliseconds, std::stop_token)> Sleep;
  // The Disconnect List's UpdateAddress (name, address); may be empty.
  std::function<void(const std::string& name, const std::string& address)> UpdateAddress;
  // The selected node's details on the visible page; may be empty.
  std::function<void()> RefreshInfoPanel;
  // A "Debug: " failure: message, timer off, program ends; may be empty.
  std::function<void(const std::string& text)> Fatal;
  // The lookup published its address: found, or "Not known"; may be empty.
  std::function<void(const TUser& user, bool found)> Finished;
};

// The background lookup of one user: its address and host name (and on
// 95/98 its account name), in up to five attempts half a second apart,
// then published to the user's record on the user-interface thread.
class TIPThread final : public LookupThread {
 public:
  static constexpr int kAttempts = 5;
  static constexpr std::chrono::milliseconds kPause{500};

  // Created suspended; services must outlive the thread.
  TIPThread(TUser& user, const LookupServices& services);
  // Stops and waits for a thread still running.
  ~TIPThread() override;
  TIPThread(const TIPThread&) = delete;
  TIPThread& operator=(const TIPThread&) = delete;

  void Start();
  // A request the thread honours at once: a lookup under way gives up
  // (a capture it waits for is left to the others, a host-name query is
  // abandoned), a pause ends, and the thread publishes what it has found
  // and ends.
  void Terminate() override;
  // Returns when the thread has ended; on the user-interface thread it
  // keeps running the steps this thread posts meanwhile (those of the
  // other lookups wait for the loop).
  void WaitFor() override;
  // User-interface thread: the user's record is no longer this thread's.
  // Stops the thread; no step of it runs from now on (one already posted
  // does nothing), so the record may go while the thread winds down.
  void Abandon();
  bool Finished() const { return finished_.load(); }
  // It has found something it will publish unless abandoned first.
  bool Found() const { return found_.load(); }
  std::thread::id Id() const { return thread_.get_id(); }
  // Why a lookup of this thread failed, as its last exception said (the
  // lookup then gives "Not known"); empty when none did. Read it after
  // WaitFor.
  const std::string& Failure() const { return failure_; }

  const std::string LookupName;
  // The address the server gave with the user ("" none): only its host
  // name is looked for.
  const std::string KnownAddress;
  TUser& User;  // not to be touched once abandoned
  // The thread's own results; read them only after WaitFor.
  std::string FoundUserName;
  std::string FoundAddress;
  std::string FoundHostName;

 private:
  void Execute(std::stop_token stop);
  void Attempts(std::stop_token stop);
  std::string LookupUserName();
  void PublishResults();  // on the user-interface thread
  void Synchronize(const std::function<void()>& step);

  const LookupServices& services_;
  std::jthread thread_;
  std::atomic<bool> finished_{false};
  std::atomic<bool> found_{false};
  std::string failure_;  // the thread's own until it has finished
  // Set on the user-interface thread, which alone runs the steps that
  // read it; the thread reads it too, to spare posting a step for nothing.
  std::atomic<bool> abandoned_{false};
};

}  // namespace qm
