// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The control socket's own limits, against one client that misbehaves.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "control/ControlServer.h"
#include "control/ControlSocket.h"
#include "support/TempFolder.h"

namespace qm::test {
namespace {

class ControlServerLimitsTest : public ::testing::Test {
 protected:
  ControlServerLimitsTest() {
    limits.alwaysServed = [](uid_t) { return false; };  // the test's user is root
    limits.idleSeconds = 60;
  }
  ~ControlServerLimitsTest() override {
    if (server) server->Stop();
    socket.Remove();
  }
  void Start() {
    std::string error;
    const int fd = socket.Listen(path, error);
    ASSERT_GE(fd, 0) << error;
    server = std::make_unique<ControlServer>(limits);
    ASSERT_TRUE(server->Start(fd, error)) << error;
  }
  int Connect(const std::string& request = "") const {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    if (!request.empty()) ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    return fd;
  }
  // The far end closed within ms, seen without reading what it sent.
  static bool ClosedWithin(int fd, int ms) {
    pollfd p{fd, POLLRDHUP, 0};
    return ::poll(&p, 1, ms) > 0 && (p.revents & (POLLRDHUP | POLLHUP)) != 0;
  }
  static std::string Status(int fd) {
    char b[12];
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 5000) > 0 && ::recv(fd, b, 12, MSG_WAITALL) == 12 ? std::string(b + 9, 3)
                                                                           : "";
  }
  template <typename Condition>
  static bool WaitFor(Condition condition) {
    for (int i = 0; i < 200 && !condition(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
  }

  TempFolder folder;
  std::string path = folder.File("control");
  ControlSocket socket;
  ControlServer::Limits limits;
  std::unique_ptr<ControlServer> server;
};

TEST_F(ControlServerLimitsTest, AUserHoldsOnlyItsShareAndATricklingRequestIsCut) {
  limits.connectionsPerUser = 2;
  limits.headerSeconds = 1;
  Start();
  const int trickling = Connect("GET /v1/status HTTP/1.1\r\n");
  const int second = Connect();
  const int third = Connect();
  EXPECT_TRUE(ClosedWithin(third, 5000)) << "beyond the user's share";
  bool cut = false;
  for (int i = 0; i < 100 && !cut; ++i) {
    cut = ::send(trickling, "X", 1, MSG_NOSIGNAL) != 1 || ClosedWithin(trickling, 200);
  }
  EXPECT_TRUE(cut);
  for (int fd : {trickling, second, third}) ::close(fd);
}

TEST_F(ControlServerLimitsTest, AStreamNobodyReadsIsCutAndGivesItsPlaceBack) {
  limits.streamsPerUser = 1;
  limits.streamStallSeconds = 1;
  Start();
  const std::string events = "GET /v1/events HTTP/1.0\r\n\r\n";
  const int unread = Connect(events);
  ASSERT_TRUE(WaitFor([&] { return server->StreamCount() == 1; }));
  const int refused = Connect(events);
  EXPECT_EQ(Status(refused), "503");
  EXPECT_TRUE(WaitFor([&] { return server->StreamCount() == 0; }));
  EXPECT_TRUE(ClosedWithin(unread, 5000));
  const int reader = Connect(events);
  EXPECT_EQ(Status(reader), "200");
  for (int fd : {unread, refused, reader}) ::close(fd);
}

}  // namespace
}  // namespace qm::test
