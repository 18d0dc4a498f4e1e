#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/samba/SambaReader.h"

namespace qm {

// When readings of Samba's state are taken and which one serves a caller.
// Without read-ahead every share enumeration takes a reading itself. With
// read-ahead the readings are taken on a worker thread, so the caller's
// thread never waits for a tool (but for the very first reading).
class SambaReadingSchedule {
 public:
  using Clock = std::chrono::steady_clock;
  // Told of every reading as it ends, on the thread that took it.
  using Observer = std::function<void(const SambaReading&)>;

  SambaReadingSchedule(SambaReader& reader, bool readAhead, Observer observer)
      : reader_(reader), readAhead_(readAhead), observer_(std::move(observer)) {}
  ~SambaReadingSchedule() { StopWorker(); }
  SambaReadingSchedule(const SambaReadingSchedule&) = delete;
  SambaReadingSchedule& operator=(const SambaReadingSchedule&) = delete;

  void SetReadAhead(bool on);
  bool ReadAhead() const;
  // Ends the worker (it is started again when needed).
  void StopWorker();

  // The reading a share enumeration applies.
  SambaReadingPtr ForShares();
  // True when the reading the last share enumeration applied is still the
  // newest (with read-ahead), so the tables need no new indexing; the next
  // reading is asked for.
  bool SharesUnchanged();
  // The newest successful reading if it is younger than the reuse limit
  // (with read-ahead, the longer one) and was started after the last
  // deletion (with evenBeforeDeletion, also one started before); else a
  // reading taken now.
  SambaReadingPtr Recent(bool evenBeforeDeletion = false);
  // A deletion has ended sessions: readings begun before now may still
  // show them.
  void Deleted();
  bool StartedBeforeLastDeletion(const SambaReading& reading) const;

  // What the user is to be told, each thing once; why the last reading
  // failed ("" after a success).
  std::vector<std::string> TakeNotices();
  std::string LastFailure() const;

  void SetReuse(std::chrono::milliseconds sessionReuse, std::chrono::milliseconds readAheadReuse) {
    sessionReuse_ = sessionReuse;
    readAheadReuse_ = readAheadReuse;
  }

 private:
  // Takes a reading now (one at a time) and makes it the newest.
  SambaReadingPtr ReadNow();
  // Read-ahead: the newest reading (waiting only for the very first) and a
  // request for the next.
  SambaReadingPtr ReadingForTick();
  void Publish(const std::shared_ptr<SambaReading>& reading);
  void WorkerLoop();

  SambaReader& reader_;
  std::chrono::milliseconds sessionReuse_{1000};
  std::chrono::milliseconds readAheadReuse_{10000};

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  SambaReadingPtr newest_;
  std::uint64_t serial_ = 0;
  std::uint64_t appliedSerial_ = 0;
  Clock::time_point deletedAt_{};
  bool readAhead_ = false;
  bool wanted_ = false;
  bool stopping_ = false;
  std::thread worker_;
  std::string lastFailure_;
  bool unreadable_ = false;
  std::vector<std::string> notices_;
  Observer observer_;
};

}  // namespace qm
