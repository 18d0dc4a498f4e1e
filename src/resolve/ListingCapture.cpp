#include "resolve/ListingCapture.h"

namespace qm {

ListingCapture::ListingCapture(CaptureFunction capture)
    : capture_(std::move(capture)),
      thread_([this](std::stop_token stop) { Run(std::move(stop)); }) {}

ListingCapture::~ListingCapture() {
  thread_.request_stop();
  thread_.join();
}

std::uint64_t ListingCapture::Started() const {
  std::lock_guard lock(mutex_);
  return started_;
}

int ListingCapture::Waiting() const {
  std::lock_guard lock(mutex_);
  return waitingForNext_ + waitingForRunning_;
}

std::shared_ptr<const ListingCapture::Table> ListingCapture::Await(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  if (stop.stop_requested()) return nullptr;
  // The running capture may have read the sessions before this lookup's
  // client arrived: only the next one serves it.
  const std::uint64_t mine = started_ + 1;
  ++waitingForNext_;
  work_.notify_one();
  std::condition_variable_any ended;
  waiters_.insert(&ended);
  const bool served = ended.wait(lock, stop, [&] { return finished_ >= mine; });
  waiters_.erase(&ended);
  if (served) return latest_;
  if (started_ < mine) {
    --waitingForNext_;
  } else if (--waitingForRunning_ == 0) {
    cancelRunning_.request_stop();
  }
  return nullptr;
}

void ListingCapture::Run(std::stop_token stop) {
  // Going away cancels the running capture too.
  const std::stop_callback onStop(stop, [this] {
    std::lock_guard lock(mutex_);
    cancelRunning_.request_stop();
  });
  std::unique_lock lock(mutex_);
  for (;;) {
    if (!work_.wait(lock, stop, [&] { return waitingForNext_ > 0; })) return;
    ++started_;
    waitingForRunning_ = waitingForNext_;
    waitingForNext_ = 0;
    cancelRunning_ = std::stop_source();
    if (stop.stop_requested()) cancelRunning_.request_stop();
    const std::stop_token cancel = cancelRunning_.get_token();
    lock.unlock();
    std::shared_ptr<const Table> table;
    try {
      table = capture_(cancel);
    } catch (...) {
      table = nullptr;
    }
    lock.lock();
    latest_ = cancel.stop_requested() ? nullptr : std::move(table);
    finished_ = started_;
    waitingForRunning_ = 0;
    for (auto* waiter : waiters_) waiter->notify_one();
  }
}

}  // namespace qm
