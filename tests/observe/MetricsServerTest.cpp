// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "LoopbackHttp.h"
#include "observe/MetricsServer.h"
#include "observe/WebAccess.h"

namespace qm::test {
namespace {

class MetricsServerTest : public ::testing::Test {
 protected:
  MetricsServerTest() {
    limits.connections = 8;
    limits.requestBytes = 4096;
    limits.idleSeconds = 1;
  }
  void Start(WebAccess* access = nullptr) {
    server = std::make_unique<MetricsServer>(
        [this] {
          ++scrapes;
          return std::string("quillmoor98_users 3\n");
        },
        limits);
    server->SetAccess(access);
    std::string error;
    ListenAddress where;
    where.port = 0;
    ASSERT_TRUE(server->Start(where, error)) << error;
  }
  std::uint16_t Port() const { return server->Port(); }
  static bool ClosedWithin(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    char c;
    return ::poll(&p, 1, ms) > 0 && ::recv(fd, &c, 1, 0) <= 0;
  }

  MetricsServer::Limits limits;
  std::atomic<int> scrapes{0};
  WebAccess access;  // outlives the server
  std::unique_ptr<MetricsServer> server;
};

TEST_F(MetricsServerTest, ServesOnlyGetOfMetrics) {
  Start();
  const std::string ok = Get(Port(), "/metrics");
  EXPECT_EQ(ok.rfind("HTTP/1.1 200 ", 0), 0u) << ok;
  EXPECT_NE(ok.find("text/plain; version=0.0.4"), std::string::npos);
  EXPECT_EQ(Body(ok), "quillmoor98_users 3\n");
  EXPECT_NE(Get(Port(), "/metrics?x=1").find(" 200 "), std::string::npos);
  EXPECT_NE(Get(Port(), "/").find(" 404 "), std::string::npos);
  EXPECT_NE(Get(Port(), "/metrics/../etc/passwd").find(" 404 "), std::string::npos);
  const std::string post =
      Request(Port(), "POST /metrics HTTP/1.0\r\nContent-Length: 5\r\n\r\nhello");
  EXPECT_NE(post.find(" 405 "), std::string::npos) << post;
  EXPECT_EQ(scrapes.load(), 2);
}

TEST_F(MetricsServerTest, PortInUseIsAClearError) {
  Start();
  MetricsServer second([] { return std::string(); }, limits);
  ListenAddress where;
  where.port = Port();
  std::string error;
  EXPECT_FALSE(second.Start(where, error));
  EXPECT_NE(error.find("127.0.0.1:" + std::to_string(Port())), std::string::npos) << error;
}

TEST_F(MetricsServerTest, OversizedHeadersAreRefusedNotBuffered) {
  Start();
  const std::string huge =
      "GET /metrics HTTP/1.0\r\nX-Filler: " + std::string(1 << 20, 'a') + "\r\n\r\n";
  const std::string refused = Request(Port(), huge);
  EXPECT_NE(refused.find(" 431 "), std::string::npos) << refused.substr(0, 80);
  EXPECT_EQ(Body(Get(Port(), "/metrics")), "quillmoor98_users 3\n");
}

// One host's idle connections neither starve another's scrape nor stay.
TEST_F(MetricsServerTest, OneHostCannotHoldEveryConnection) {
  limits.connectionsPerHost = 2;
  limits.headerSeconds = 1;
  limits.idleSeconds = 30;
  Start();
  auto closedWithin = &ClosedWithin;
  std::vector<int> idle;
  for (int i = 0; i < 6; ++i) idle.push_back(ConnectLoopback(Port(), "127.0.0.3"));
  EXPECT_TRUE(closedWithin(idle[2], 2000));
  EXPECT_FALSE(closedWithin(idle[0], 100));
  EXPECT_EQ(Body(Get(Port(), "/metrics")), "quillmoor98_users 3\n");
  EXPECT_TRUE(closedWithin(idle[0], 5000));
  for (int fd : idle) {
    if (fd >= 0) ::close(fd);
  }
}

// Sending a byte now and then keeps the idle timeout away, not the deadline.
TEST_F(MetricsServerTest, ATricklingRequestIsCutAtItsDeadline) {
  limits.headerSeconds = 1;
  limits.idleSeconds = 30;
  Start();
  const int fd = ConnectLoopback(Port(), "127.0.0.4");
  ASSERT_TRUE(SendAll(fd, "GET /metrics HTTP/1.1\r\n"));
  bool cut = false;
  for (int i = 0; i < 100 && !cut; ++i) {
    cut = !SendAll(fd, "X") || ClosedWithin(fd, 200);
  }
  EXPECT_TRUE(cut);
  EXPECT_EQ(scrapes.load(), 0);
  ::close(fd);
}

TEST_F(MetricsServerTest, AScrapeGetsInWhenHalfSentRequestsHoldEveryConnection) {
  limits.connections = 4;
  limits.connectionsPerHost = 2;
  limits.headerSeconds = 60;
  limits.idleSeconds = 60;
  Start();
  std::vector<int> held;
  for (const char* from : {"127.0.0.5", "127.0.0.5", "127.0.0.6", "127.0.0.6"}) {
    held.push_back(ConnectLoopback(Port(), from));
    SendAll(held.back(), "GET /metr");
  }
  EXPECT_EQ(Body(Get(Port(), "/metrics")), "quillmoor98_users 3\n");
  EXPECT_TRUE(ClosedWithin(held[0], 5000)) << "the oldest made room";
  for (int fd : held) ::close(fd);
}

// Guesses are hashed on a thread of their own and rationed per address;
// the scraper that knows the password is served all along.
TEST_F(MetricsServerTest, PasswordGuessesAreRationedPerAddress) {
  std::string error;
  // htpasswd -nbBC 10 prometheus s3cret
  const auto config = WebConfig::Parse(
      "basic_auth_users:\n  prometheus: "
      "$2y$10$40v.rfkU93cUOdzuvnfLr.OQ4KSty4WvWm9qZKBrIlTVY3rQonyZK\n",
      "/etc", error);
  ASSERT_TRUE(config) << error;
  ASSERT_TRUE(access.Load(*config, nullptr, error)) << error;
  Start(&access);
  auto scrape = [&](const char* from, const char* credentials) {
    const std::string head = "GET /metrics HTTP/1.0\r\nAuthorization: Basic ";
    return Request(Port(), head + credentials + "\r\n\r\n", 5000, from).substr(0, 12);
  };
  const char* right = "cHJvbWV0aGV1czpzM2NyZXQ=";  // prometheus:s3cret
  const char* wrong = "cHJvbWV0aGV1czpndWVzcw==";  // prometheus:guess
  EXPECT_EQ(scrape("127.0.0.1", right), "HTTP/1.1 200");
  EXPECT_EQ(scrape("127.0.0.7", wrong), "HTTP/1.1 401");
  bool rationed = false;
  for (int i = 0; i < 20 && !rationed; ++i) rationed = scrape("127.0.0.7", wrong) == "HTTP/1.1 429";
  EXPECT_TRUE(rationed);
  EXPECT_EQ(scrape("127.0.0.1", right), "HTTP/1.1 200");
}

}  // namespace
}  // namespace qm::test
