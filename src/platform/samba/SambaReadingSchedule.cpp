#include "platform/samba/SambaReadingSchedule.h"

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

void SambaReadingSchedule::StopWorker() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
  }
  if (worker_.joinable()) worker_.join();
  std::lock_guard lock(mutex_);
  stopping_ = false;
}

std::vector<std::string> SambaReadingSchedule::TakeNotices() {
  std::lock_guard lock(mutex_);
  return std::exchange(notices_, {});
}

std::string SambaReadingSchedule::LastFailure() const {
  std::lock_guard lock(mutex_);
  return lastFailure_;
}

SambaReadingPtr SambaReadingSchedule::ForShares() {
  return ReadAhead() ? ReadingForTick() : ReadNow();
}

bool SambaReadingSchedule::SharesUnchanged() {
  // A tick that comes before the next reading is complete applies the one
  // it has already applied: nothing to read or index again.
  std::lock_guard lock(mutex_);
  if (!readAhead_ || !newest_ || newest_->status || newest_->serial != appliedSerial_) {
    return false;
  }
  wanted_ = true;
  changed_.notify_all();
  return true;
}

SambaReadingPtr SambaReadingSchedule::Recent(bool evenBeforeDeletion) {
  {
    std::lock_guard lock(mutex_);
    const auto maxAge = readAhead_ ? readAheadReuse_ : sessionReuse_;
    if (newest_ && !newest_->status && (evenBeforeDeletion || newest_->started > deletedAt_) &&
        Clock::now() - newest_->started < maxAge) {
      return newest_;
    }
  }
  return ReadNow();
}

void SambaReadingSchedule::Deleted() {
  std::lock_guard state(mutex_);
  deletedAt_ = Clock::now();
  if (readAhead_) {
    wanted_ = true;
    changed_.notify_all();
  }
}

bool SambaReadingSchedule::StartedBeforeLastDeletion(const SambaReading& reading) const {
  std::lock_guard lock(mutex_);
  return reading.started <= deletedAt_;
}

SambaReadingPtr SambaReadingSchedule::ReadingForTick() {
  std::unique_lock lock(mutex_);
  if (!worker_.joinable()) worker_ = std::thread([this] { WorkerLoop(); });
  wanted_ = true;
  changed_.notify_all();
  // Only the first tick waits: the start-up waits for the server anyway.
  changed_.wait(lock, [&] { return newest_ != nullptr; });
  appliedSerial_ = newest_->serial;
  // The next reading starts now, to be ready for the next tick.
  wanted_ = true;
  changed_.notify_all();
  return newest_;
}

void SambaReadingSchedule::WorkerLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return wanted_ || stopping_; });
    if (stopping_) return;
    wanted_ = false;
    lock.unlock();
    ReadNow();
    lock.lock();
  }
}

SambaReadingPtr SambaReadingSchedule::ReadNow() {
  const std::shared_ptr<SambaReading> reading = reader_.Read();
  Publish(reading);
  if (observer_) observer_(*reading);
  return reading;
}

void SambaReadingSchedule::Publish(const std::shared_ptr<SambaReading>& reading) {
  std::lock_guard lock(mutex_);
  reading->serial = ++serial_;
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
  // A failed reading does not replace a good one for the session
  // enumerations, but the tick must learn of it.
  newest_ = reading;
  changed_.notify_all();
}

}  // namespace qm
