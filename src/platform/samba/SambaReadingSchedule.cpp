// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/samba/SambaReadingSchedule.h"

#include <algorithm>
#include <utility>

namespace qm {

void SambaReadingSchedule::SetReadAhead(bool on) {
  if (!on) StopWorker();
  std::lock_guard lock(mutex_);
  readAhead_ = on;
}

bool SambaReadingSchedule::ReadAhead() const {
  std::lock_guard lock(mutex_);
  return readAhead_;
}

void SambaReadingSchedule::StartWorker() {
  if (!worker_.joinable()) worker_ = std::thread([this] { WorkerLoop(); });
}

void SambaReadingSchedule::StopWorker() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
  }
  if (worker_.joinable()) worker_.join();
  std::lock_guard lock(mutex_);
  stopping_ = false;
  wanted_ = false;
  // No reading comes for a tick that waits: it applies the newest.
  asked_ = 0;
  toEnd_.clear();
  std::erase_if(deletions_, [](const Deletion& d) { return d.ended == Clock::time_point::max(); });
}

std::vector<std::string> SambaReadingSchedule::TakeNotices() {
  std::lock_guard lock(mutex_);
  return std::exchange(notices_, {});
}

void SambaReadingSchedule::AddNotice(std::string text) {
  std::lock_guard lock(mutex_);
  notices_.push_back(std::move(text));
}

std::string SambaReadingSchedule::LastFailure() const {
  std::lock_guard lock(mutex_);
  return lastFailure_;
}

bool SambaReadingSchedule::Request() {
  std::lock_guard lock(mutex_);
  if (!readAhead_) return false;
  StartWorker();
  asked_ = started_ + 1;
  wanted_ = true;
  changed_.notify_all();
  return true;
}

bool SambaReadingSchedule::RequestDone() const {
  std::lock_guard lock(mutex_);
  return asked_ == 0 || (newest_ && newest_->serial >= asked_);
}

SambaReadingPtr SambaReadingSchedule::ForShares() {
  {
    std::lock_guard lock(mutex_);
    if (readAhead_ && newest_) {
      appliedSerial_ = newest_->serial;
      return newest_;
    }
  }
  // Without read-ahead, or the very first reading (the start-up waits for
  // the server anyway).
  SambaReadingPtr reading = ReadNow(false);
  std::lock_guard lock(mutex_);
  appliedSerial_ = reading->serial;
  return reading;
}

bool SambaReadingSchedule::SharesUnchanged() const {
  // A tick whose reading is the one already applied needs nothing read or
  // indexed again.
  std::lock_guard lock(mutex_);
  return readAhead_ && newest_ && !newest_->status && newest_->serial == appliedSerial_;
}

SambaReadingPtr SambaReadingSchedule::ForSessions(std::vector<std::string>& deletedClients) {
  {
    std::lock_guard lock(mutex_);
    if (readAhead_ && newest_) {
      SambaReadingPtr reading = newestGood_ ? newestGood_ : newest_;
      for (const Deletion& d : deletions_) {
        if (d.ended >= reading->started) deletedClients.push_back(d.client);
      }
      return reading;
    }
    if (!readAhead_ && newestGood_ && newestGood_->started > deletedAt_ &&
        Clock::now() - newestGood_->started < sessionReuse_) {
      return newestGood_;
    }
  }
  return ReadNow(false);
}

void SambaReadingSchedule::SetDeletionsWait(bool on) {
  std::lock_guard lock(mutex_);
  deletionsWait_ = on;
}

std::string SambaReadingSchedule::DeletionFailure() const {
  std::lock_guard lock(mutex_);
  return deletionFailure_;
}

NetStatus SambaReadingSchedule::Delete(const std::string& client) {
  bool waited;
  {
    std::lock_guard lock(mutex_);
    if (readAhead_ && !deletionsWait_) {
      // Chosen again before the worker came to it: one deletion serves.
      if (std::find(toEnd_.begin(), toEnd_.end(), client) == toEnd_.end()) {
        toEnd_.push_back(client);
        deletions_.push_back({client});
        StartWorker();
        changed_.notify_all();
      }
      return NERR_Success;
    }
    waited = readAhead_;
  }
  std::string why;
  const NetStatus result = EndSessions(client, &why);
  std::lock_guard lock(mutex_);
  deletionFailure_ = result == NERR_Success ? std::string() : why;
  // Until a reading begun after it, the enumerations leave the client out.
  if (waited && result == NERR_Success) deletions_.push_back({client, Clock::now()});
  return result;
}

NetStatus SambaReadingSchedule::EndSessions(const std::string& client, std::string* why) {
  SambaReadingPtr reading;
  {
    // The worker ends sessions by the newest reading, even one that still
    // shows processes ended since: they are passed over below.
    std::lock_guard lock(mutex_);
    if (readAhead_) reading = newestGood_ ? newestGood_ : newest_;
  }
  if (!reading) {
    std::vector<std::string> ignored;
    reading = ForSessions(ignored);
  }
  if (reading->status) {
    if (why) *why = reading->failure;
    return reading->status;
  }
  bool stale;
  {
    std::lock_guard lock(mutex_);
    stale = reading->started <= deletedAt_;
  }
  const std::size_t zero = client.find('\0');
  std::vector<std::string> notices;
  const NetStatus result = ender_.End(
      client.substr(0, zero), zero == std::string::npos ? std::string() : client.substr(zero + 1),
      *reading, stale, notices, why);
  for (auto& notice : notices) AddNotice(std::move(notice));
  if (result != NERR_ClientNameNotFound) {
    // Readings begun before now may still show the ended sessions.
    std::lock_guard lock(mutex_);
    deletedAt_ = Clock::now();
  }
  return result;
}

void SambaReadingSchedule::WorkerLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || wanted_ || !toEnd_.empty(); });
    if (stopping_) return;
    if (!toEnd_.empty()) {
      // Deletions first: the reading a tick waits for shows their outcome.
      const std::string client = toEnd_.front();
      toEnd_.pop_front();
      lock.unlock();
      EndSessions(client);
      lock.lock();
      for (Deletion& d : deletions_) {
        if (d.client == client && d.ended == Clock::time_point::max()) {
          d.ended = Clock::now();
          break;
        }
      }
      continue;
    }
    wanted_ = false;
    const bool asked = asked_ > started_;
    lock.unlock();
    ReadNow(asked);
    lock.lock();
  }
}

SambaReadingPtr SambaReadingSchedule::ReadNow(bool asked) {
  std::uint64_t serial;
  {
    std::lock_guard lock(mutex_);
    serial = ++started_;
  }
  const std::shared_ptr<SambaReading> reading = reader_.Read();
  reading->serial = serial;
  Publish(reading);
  if (observer_) observer_(*reading, asked);
  return reading;
}

void SambaReadingSchedule::Publish(const std::shared_ptr<SambaReading>& reading) {
  std::lock_guard lock(mutex_);
  for (const auto& n : reading->notices) notices_.push_back(n);
  lastFailure_ = reading->failure;
  const bool unreadable = reading->status == kServerStateUnreadable;
  if (unreadable && !unreadable_) {
    notices_.push_back("Samba's state cannot be read (" + reading->failure +
                       "); the connections shown are those of the last reading");
  } else if (!unreadable && unreadable_) {
    notices_.push_back("Samba's state can be read again");
  }
  unreadable_ = unreadable;
  if (newest_ && newest_->serial > reading->serial) return;  // a later one ended first
  // smbd itself stopping ends every user: said once, as is its return.
  const bool stopped = reading->status == NERR_ServerNotStarted;
  if (stopped && !smbdStopped_) {
    notices_.push_back("Samba's smbd is not running");
  } else if (!stopped && smbdStopped_) {
    notices_.push_back("Samba's smbd is running again");
  }
  smbdStopped_ = stopped;
  // A failed reading does not replace a good one for the session
  // enumerations, but the tick must learn of it.
  newest_ = reading;
  if (!reading->status) {
    newestGood_ = reading;
    // Deletions ended before it began are in it.
    std::erase_if(deletions_, [&](const Deletion& d) { return d.ended < reading->started; });
  }
  changed_.notify_all();
}

}  // namespace qm
