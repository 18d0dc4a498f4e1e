// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/samba/SambaReader.h"
#include "platform/samba/SambaSessionEnder.h"

namespace qm {

// When readings of Samba's state are taken, which one serves a caller, and
// when sessions are ended.
//
// Without read-ahead every share enumeration takes a reading itself and a
// deletion ends the sessions at once, on the caller's thread.
//
// With read-ahead the caller's thread never waits for a tool (but for the
// very first reading, at start-up): a worker takes a reading when a tick
// is due (Request), and the tick applies it once it is complete; a
// deletion is queued and the worker ends the sessions before it takes the
// next reading, so the next tick shows the outcome. Meanwhile the session
// enumerations leave out the clients whose deletion is pending.
class SambaReadingSchedule {
 public:
  using Clock = std::chrono::steady_clock;
  // Told of every reading as it ends, on the thread that took it; asked
  // says whether a tick waits for it.
  using Observer = std::function<void(const SambaReading& reading, bool asked)>;

  SambaReadingSchedule(SambaReader& reader, const SambaSessionEnder& ender, bool readAhead,
                       Observer observer)
      : reader_(reader), ender_(ender), readAhead_(readAhead), observer_(std::move(observer)) {}
  ~SambaReadingSchedule() { StopWorker(); }
  SambaReadingSchedule(const SambaReadingSchedule&) = delete;
  SambaReadingSchedule& operator=(const SambaReadingSchedule&) = delete;

  void SetReadAhead(bool on);
  bool ReadAhead() const;
  // Ends the worker, dropping the deletions not yet begun (it is started
  // again when needed).
  void StopWorker();

  // With read-ahead: a reading is started for the tick that is due (after
  // the one in progress, which began before the tick was due). False
  // without read-ahead.
  bool Request();
  // The reading Request asked for has ended.
  bool RequestDone() const;

  // The reading a share enumeration applies.
  SambaReadingPtr ForShares();
  // True when the reading the last share enumeration applied is still the
  // newest (with read-ahead), so the tables need no new indexing.
  bool SharesUnchanged() const;
  // The reading a session enumeration answers from, and the clients whose
  // sessions it is to leave out (deleted since it began). Without
  // read-ahead: the newest successful reading if it is younger than the
  // reuse limit and began after the last deletion, else one taken now.
  // With read-ahead: the newest successful one (else the newest).
  SambaReadingPtr ForSessions(std::vector<std::string>& deletedClients);
  // Ends the sessions of client (a name, or a name, a zero byte and the
  // peer address its sessions are from): at once without read-ahead or
  // while deletions wait (its status), else on the worker (0).
  NetStatus Delete(const std::string& client);
  // On: Delete ends the sessions on the caller's thread even with
  // read-ahead, and returns the outcome.
  void SetDeletionsWait(bool on);
  // Why the last deletion on the caller's thread failed ("" when it did
  // not, or its status says it).
  std::string DeletionFailure() const;

  // What the user is to be told, each thing once; why the last reading
  // failed ("" after a success).
  std::vector<std::string> TakeNotices();
  // One more thing for the user to be told.
  void AddNotice(std::string text);
  std::string LastFailure() const;

  void SetReuse(std::chrono::milliseconds sessionReuse) { sessionReuse_ = sessionReuse; }

 private:
  struct Deletion {
    std::string client;
    Clock::time_point ended = Clock::time_point::max();  // max: not yet
  };

  // Takes a reading now (one at a time) and makes it the newest.
  SambaReadingPtr ReadNow(bool asked);
  void Publish(const std::shared_ptr<SambaReading>& reading);
  // why: the first reason a session was not ended, if any.
  NetStatus EndSessions(const std::string& client, std::string* why = nullptr);
  void StartWorker();
  void WorkerLoop();

  SambaReader& reader_;
  const SambaSessionEnder& ender_;
  std::chrono::milliseconds sessionReuse_{1000};

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  SambaReadingPtr newest_;
  SambaReadingPtr newestGood_;  // the newest successful reading
  std::uint64_t started_ = 0;   // readings begun; a reading's serial is its place
  std::uint64_t asked_ = 0;     // the serial a tick waits for (0: none)
  std::uint64_t appliedSerial_ = 0;
  Clock::time_point deletedAt_{};
  std::deque<std::string> toEnd_;    // deletions queued for the worker
  std::vector<Deletion> deletions_;  // queued or ended since the newest reading began
  bool readAhead_ = false;
  bool deletionsWait_ = false;
  std::string deletionFailure_;
  bool wanted_ = false;
  bool stopping_ = false;
  std::thread worker_;
  std::string lastFailure_;
  bool unreadable_ = false;
  bool smbdStopped_ = false;
  std::vector<std::string> notices_;
  Observer observer_;
};

}  // namespace qm
