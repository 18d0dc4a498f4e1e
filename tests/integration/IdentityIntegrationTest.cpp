// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// A user is a client name from the address Samba recorded for it.
#include <gtest/gtest.h>

#include "MonitorOnSamba.h"

namespace qm::test {
namespace {

class IdentityOnSambaTest : public MonitorOnSambaTest {
 protected:
  TUser* UserFrom(const std::string& name, const std::string& address) const {
    UserEntry* entry = monitor->Users.Find(UserKey(name, address));
    return entry ? entry->User() : nullptr;
  }
  // A client named name at home, then one of the same name from away: the
  // rule in force turns the second one away, and the first stays.
  void SecondFromElsewhereIsKicked(const std::string& name, const std::string& away) {
    const auto home = server.StartClient(name, server.DiskShare(), false, "127.0.0.1");
    ASSERT_TRUE(TickUntil([&] { return UserFrom(Key(name), "127.0.0.1"); })) << Diagnostics(home);
    const auto second = server.StartClient(name, server.DiskShare(), false, away);
    TUser* seen = nullptr;
    ASSERT_TRUE(TickUntil([&] {
      return (seen = seen ? seen : UserFrom(Key(name), away)) && !seen->IsOpen();
    })) << Diagnostics(second);
    EXPECT_EQ(seen->IPAddress, away);
    EXPECT_EQ(StatusText(seen->ExitStatus), "Kicked");
    Tick();
    TUser* first = UserFrom(Key(name), "127.0.0.1");
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->IsOpen());
    EXPECT_TRUE(server.ClientRunning(home)) << Diagnostics(home);
  }
};

// A listed client calling itself like a direct client at 127.0.0.1.
TEST_F(IdentityOnSambaTest, ANameEqualToAnotherClientsAddressIsAnotherUser) {
  rules->List().AddEntry("INTRUDER", "127.0.0.5");
  rules->Status().SetWhoToKick(KickList);
  SecondFromElsewhereIsKicked("127.0.0.1", "127.0.0.5");
}

// A name reconnecting from another address is judged by that address.
TEST_F(IdentityOnSambaTest, ANameFromAnotherAddressMeetsTheAddressFilterAlone) {
  settings.IPFilter = true;
  settings.IPFilterString = "127.0.0.1";
  SecondFromElsewhereIsKicked("ROAMER", "127.0.0.6");
}

// Each of a crowd has its address from its first reading and keeps it.
TEST_F(IdentityOnSambaTest, ACrowdKeepsItsAddressesFromTheFirstReading) {
  constexpr int kCrowd = 12;
  std::vector<SambaTestServer::ClientId> crowd;
  for (int i = 0; i < kCrowd; ++i) {
    crowd.push_back(server.StartClient("C" + std::to_string(i), server.DiskShare(), false,
                                       "127.0.0." + std::to_string(20 + i)));
  }
  bool addressed = true;
  ASSERT_TRUE(TickUntil(
      [&] {
        for (const UserEntry& u : monitor->Users) addressed &= u.User()->IPAddress == u.Address;
        return monitor->CurrentUserCount == kCrowd;
      },
      std::chrono::seconds(60)));
  EXPECT_TRUE(addressed);
  for (const auto id : crowd) server.StopClient(id);
  ASSERT_TRUE(TickUntil([&] { return monitor->CurrentUserCount == 0; }));
  for (int i = 0; i < monitor->TreeViewFormer.TopLevelCount(); ++i) {
    const TUser* user = UserOf(monitor->TreeViewFormer.TopLevel(i));
    EXPECT_EQ(user->IPAddress, "127.0.0." + std::to_string(20 + std::stoi(user->Name.substr(1))));
  }
}

}  // namespace
}  // namespace qm::test
