// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The c-ares resolver against name servers of our own on loopback: one
// that never answers, and the system's hosts file.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "core/Resources.h"
#include "resolve/ResolveTestSupport.h"
#include "resolve/ReverseResolver.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

// A UDP and a TCP socket on 127.0.0.1, on one port, that take queries and
// never answer.
class SilentNameServer {
 public:
  SilentNameServer() {
    udp_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (::bind(udp_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(udp_, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
      ADD_FAILURE() << "no loopback socket";
    }
    port_ = ntohs(a.sin_port);
    tcp_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(tcp_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) ::listen(tcp_, 4);
  }
  ~SilentNameServer() {
    ::close(udp_);
    ::close(tcp_);
  }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int udp_ = -1, tcp_ = -1;
  int port_ = 0;
};

using Clock = std::chrono::steady_clock;

TEST(ReverseResolver, StopDuringAQueryThatIsNeverAnsweredReturnsAtOnce) {
  test::Watchdog watchdog(60s, "the silent name server test");
  SilentNameServer server;
  ReverseResolver::Options options;
  options.servers = server.Address();
  options.lookups = "b";
  options.timeout = 20s;  // longer than the test would wait
  options.tries = 1;
  ReverseResolver resolver(options);
  ASSERT_EQ(resolver.SetupError(), "");
  std::stop_source stop;
  std::string name;
  std::thread query([&] { name = resolver.HostName("127.0.0.2", stop.get_token()); });
  std::this_thread::sleep_for(100ms);
  const Clock::time_point asked = Clock::now();
  stop.request_stop();
  query.join();
  EXPECT_EQ(name, kNotKnown);
  // Far inside the name server's time-out: the stop, not the time-out,
  // ended the wait.
  EXPECT_LT(Clock::now() - asked, 10s);
}

TEST(ReverseResolver, QueryThatIsNeverAnsweredTimesOutAndTheResolverGoesAwayAtOnce) {
  test::Watchdog watchdog(60s, "the silent name server test");
  SilentNameServer server;
  ReverseResolver::Options options;
  options.servers = server.Address();
  options.lookups = "b";
  options.timeout = 200ms;
  options.tries = 1;
  auto resolver = std::make_unique<ReverseResolver>(options);
  EXPECT_EQ(resolver->HostName("fd12:3456:789a:bcde:f012:3456:789a:bcde", {}), kNotKnown);
  // Queries still open when it goes: it does not wait for them.
  options.timeout = 20s;
  resolver = std::make_unique<ReverseResolver>(options);
  std::stop_source stop;
  std::thread query([&] { resolver->HostName("127.0.0.3", stop.get_token()); });
  std::this_thread::sleep_for(100ms);
  stop.request_stop();
  query.join();
  resolver.reset();
}

TEST(ReverseResolver, NamesFromTheHostsFileAndNothingForTextThatIsNoAddress) {
  ReverseResolver::Options options;
  options.lookups = "f";
  ReverseResolver resolver(options);
  EXPECT_EQ(resolver.HostName("127.0.0.1", {}), "localhost");
  EXPECT_EQ(resolver.HostName("Not known", {}), kNotKnown);
  EXPECT_EQ(resolver.HostName("10.0.0.1 x", {}), kNotKnown);
  std::stop_source stopped;
  stopped.request_stop();
  EXPECT_EQ(resolver.HostName("127.0.0.1", stopped.get_token()), kNotKnown);
}

}  // namespace
}  // namespace qm
