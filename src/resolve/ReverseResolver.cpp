// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "resolve/ReverseResolver.h"

#include <ares.h>
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

#include "core/Resources.h"
#include "thread/BackgroundPriority.h"

namespace qm {

struct ReverseResolver::Query {
  sockaddr_storage address{};
  ares_socklen_t length = 0;
  bool done = false;  // guarded by the resolver's mutex
  std::string host;
  // Its own, so that an answer wakes only the caller that asked.
  std::condition_variable_any answered;
};

namespace {

struct Answer {
  std::shared_ptr<ReverseResolver::Query> query;
  std::mutex* mutex;
};

void OnAnswer(void* argument, int status, int /*timeouts*/, char* node, char* /*service*/) {
  std::unique_ptr<Answer> answer(static_cast<Answer*>(argument));
  std::lock_guard lock(*answer->mutex);
  if (status == ARES_SUCCESS && node && *node) answer->query->host = node;
  answer->query->done = true;
  answer->query->answered.notify_one();
}

// A numeric address as a socket address; false for anything else.
bool ToSocketAddress(const std::string& text, sockaddr_storage& out, ares_socklen_t& length) {
  out = {};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&out);
  if (inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    length = sizeof(sockaddr_in);
    return true;
  }
  const std::size_t percent = text.find('%');
  const std::string plain = text.substr(0, percent);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&out);
  if (inet_pton(AF_INET6, plain.c_str(), &v6->sin6_addr) != 1) return false;
  v6->sin6_family = AF_INET6;
  if (percent != std::string::npos) {
    const std::string zone = text.substr(percent + 1);
    unsigned index = if_nametoindex(zone.c_str());
    if (index == 0 && !zone.empty() && zone.size() < 10 &&
        zone.find_first_not_of("0123456789") == std::string::npos) {
      index = static_cast<unsigned>(std::stoul(zone));
    }
    v6->sin6_scope_id = index;
  }
  length = sizeof(sockaddr_in6);
  return true;
}

void InitLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] { ares_library_init(ARES_LIB_INIT_ALL); });
}

}  // namespace

ReverseResolver::ReverseResolver(const Options& options)
    // Every try doubles the wait of the one before; a little on top for
    // the thread's own turn.
    : longest_(options.timeout * ((1 << std::max(options.tries, 1)) - 1) +
               std::chrono::milliseconds(500)) {
  InitLibraryOnce();
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ < 0) {
    setupError_ = "no event descriptor";
    return;
  }
  ares_options o{};
  int mask = ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES;
  o.timeout = static_cast<int>(options.timeout.count());
  o.tries = options.tries;
  std::string lookups = options.lookups;
  if (!lookups.empty()) {
    o.lookups = lookups.data();
    mask |= ARES_OPT_LOOKUPS;
  }
  ares_channel channel = nullptr;
  int r = ares_init_options(&channel, &o, mask);
  if (r == ARES_SUCCESS && !options.servers.empty()) {
    r = ares_set_servers_ports_csv(channel, options.servers.c_str());
  }
  if (r != ARES_SUCCESS) {
    setupError_ = ares_strerror(r);
    if (channel) ares_destroy(channel);
    return;
  }
  channel_ = channel;
  ready_ = true;
  thread_ = std::jthread([this](std::stop_token stop) { Run(std::move(stop)); });
}

ReverseResolver::~ReverseResolver() {
  if (thread_.joinable()) {
    thread_.request_stop();
    Wake();
    thread_.join();
  }
  if (wake_ >= 0) ::close(wake_);
}

void ReverseResolver::Wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
}

std::string ReverseResolver::HostName(const std::string& address, std::stop_token stop) {
  if (!ready_ || stop.stop_requested()) return kNotKnown;
  auto query = std::make_shared<Query>();
  if (!ToSocketAddress(address, query->address, query->length)) return kNotKnown;
  std::unique_lock lock(mutex_);
  submitted_.push_back(query);
  Wake();
  // The time-outs end every query; the limit only guards against a thread
  // that went away.
  query->answered.wait_for(lock, stop, longest_, [&] { return query->done; });
  return query->done && !query->host.empty() ? query->host : std::string(kNotKnown);
}

void ReverseResolver::Run(std::stop_token stop) {
  LowerThisThreadsPriority();
  auto channel = static_cast<ares_channel>(channel_);
  std::vector<std::shared_ptr<Query>> batch;
  while (!stop.stop_requested()) {
    {
      std::lock_guard lock(mutex_);
      batch.swap(submitted_);
    }
    for (const auto& query : batch) {
      ares_getnameinfo(channel, reinterpret_cast<const sockaddr*>(&query->address), query->length,
                       ARES_NI_LOOKUPHOST | ARES_NI_NAMEREQD, &OnAnswer,
                       new Answer{query, &mutex_});
    }
    batch.clear();

    ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
    const int bits = ares_getsock(channel, sockets, ARES_GETSOCK_MAXNUM);
    pollfd fds[ARES_GETSOCK_MAXNUM + 1];
    nfds_t count = 0;
    fds[count++] = {wake_, POLLIN, 0};
    for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
      short events = 0;
      if (ARES_GETSOCK_READABLE(bits, i)) events |= POLLIN;
      if (ARES_GETSOCK_WRITABLE(bits, i)) events |= POLLOUT;
      if (events == 0) continue;
      fds[count++] = {sockets[i], events, 0};
    }
    timeval limit{}, *left = ares_timeout(channel, nullptr, &limit);
    const int waitMs =
        left ? static_cast<int>(left->tv_sec * 1000 + (left->tv_usec + 999) / 1000) : -1;
    ::poll(fds, count, waitMs);
    std::uint64_t drained;
    while (::read(wake_, &drained, sizeof drained) > 0) {
    }
    bool any = false;
    for (nfds_t i = 1; i < count; ++i) {
      const bool in = fds[i].revents & (POLLIN | POLLERR | POLLHUP);
      const bool out = fds[i].revents & POLLOUT;
      if (!in && !out) continue;
      any = true;
      ares_process_fd(channel, in ? fds[i].fd : ARES_SOCKET_BAD, out ? fds[i].fd : ARES_SOCKET_BAD);
    }
    // Time-outs are processed too.
    if (!any) ares_process_fd(channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
  }
  // Every query still open is answered "not found" here.
  ares_destroy(channel);
  std::lock_guard lock(mutex_);
  for (auto& query : submitted_) {
    query->done = true;
    query->answered.notify_one();
  }
  submitted_.clear();
}

}  // namespace qm
