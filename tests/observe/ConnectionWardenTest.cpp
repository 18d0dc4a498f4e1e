// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "observe/ConnectionWarden.h"

namespace qm::test {
namespace {

using std::chrono::seconds;

// Connections as the warden sees them: a socket pair each, whose far end
// tells whether the warden ended it.
class ConnectionWardenTest : public ::testing::Test {
 protected:
  ~ConnectionWardenTest() override {
    for (const auto& [mine, far] : pairs) ::close(mine), ::close(far);
  }
  MHD_Connection* Open(ConnectionWarden& warden, const std::string& client, bool privileged,
                       bool* admitted = nullptr) {
    int fds[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    pairs.push_back({fds[0], fds[1]});
    auto* c = reinterpret_cast<MHD_Connection*>(static_cast<std::uintptr_t>(pairs.size()));
    const bool in = warden.Started(c, fds[0], client, privileged, t0);
    if (admitted) *admitted = in;
    return c;
  }
  bool Ended(MHD_Connection* c) const {
    char byte;
    const int far = pairs[reinterpret_cast<std::uintptr_t>(c) - 1].second;
    return ::recv(far, &byte, 1, MSG_DONTWAIT) == 0;
  }
  const ConnectionWarden::Clock::time_point t0 = ConnectionWarden::Clock::now();
  std::vector<std::pair<int, int>> pairs;
};

TEST_F(ConnectionWardenTest, EachStageHasItsDeadlineAndAnAnswerHasNone) {
  ConnectionWarden warden(
      {.connections = 8, .perClient = 8, .headerSeconds = 5, .bodySeconds = 10, .idleSeconds = 20});
  MHD_Connection* trickling = Open(warden, "a", false);
  MHD_Connection* sendingBody = Open(warden, "a", false);
  MHD_Connection* answered = Open(warden, "a", false);
  MHD_Connection* keptAlive = Open(warden, "a", false);
  warden.HeadersIn(sendingBody, t0 + seconds(1));
  warden.RequestIn(answered);
  warden.AnswerSent(keptAlive, t0 + seconds(1));
  EXPECT_EQ(warden.Sweep(t0 + seconds(4)), 0u);
  EXPECT_EQ(warden.Sweep(t0 + seconds(5)), 1u);
  EXPECT_TRUE(Ended(trickling));
  EXPECT_FALSE(Ended(sendingBody));
  EXPECT_EQ(warden.Sweep(t0 + seconds(11)), 1u);
  EXPECT_TRUE(Ended(sendingBody));
  EXPECT_EQ(warden.Sweep(t0 + seconds(26)), 1u);
  EXPECT_TRUE(Ended(keptAlive));
  EXPECT_EQ(warden.Sweep(t0 + seconds(1000)), 0u);
  EXPECT_FALSE(Ended(answered));
}

TEST_F(ConnectionWardenTest, SharesAreKeptAndANewcomerTakesTheOldestHalfSentPlace) {
  ConnectionWarden warden({.connections = 3, .perClient = 2});
  bool in = false;
  MHD_Connection* oldest = Open(warden, "a", false);
  MHD_Connection* second = Open(warden, "a", false, &in);
  EXPECT_TRUE(in);
  MHD_Connection* third = Open(warden, "a", false, &in);
  EXPECT_FALSE(in) << "beyond one client's share";
  EXPECT_TRUE(Ended(third));
  MHD_Connection* answering = Open(warden, "b", false);
  warden.RequestIn(answering);
  MHD_Connection* newcomer = Open(warden, "c", false, &in);
  EXPECT_TRUE(in);
  EXPECT_TRUE(Ended(oldest)) << "made room, not the one being answered";
  EXPECT_FALSE(Ended(second));
  EXPECT_FALSE(Ended(answering));
  for (int i = 0; i < 5; ++i) {
    Open(warden, "root", true, &in);
    EXPECT_TRUE(in) << "root is never refused, and takes nobody's place";
  }
  EXPECT_FALSE(Ended(second));
  EXPECT_FALSE(Ended(newcomer));
  EXPECT_EQ(warden.Ended(), 2u);
}

}  // namespace
}  // namespace qm::test
