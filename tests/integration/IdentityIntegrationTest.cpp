// A user is a client name from the address Samba recorded for it, on a
// real, private smbd with real smbclient clients that choose their names
// and come from loopback addresses of the test's choice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MonitorOnSamba.h"
#include "core/Text.h"

namespace qm::test {
namespace {

class IdentityOnSambaFixture : public MonitorOnSambaTest {
 protected:
  // Starts a client named name from address and ticks until its user shows.
  SambaTestServer::ClientId ConnectFrom(const std::string& name, const std::string& address) {
    const auto id = server.StartClient(name, server.DiskShare(), false, address);
    EXPECT_TRUE(TickUntil([&] { return UserFrom(Key(name), address) != nullptr; }))
        << name << " from " << address << " never showed" << Diagnostics(id);
    return id;
  }
  TUser* UserFrom(const std::string& name, const std::string& address) const {
    UserEntry* entry = monitor->Users.Find(UserKey(name, address));
    return entry ? entry->User() : nullptr;
  }
};

// A listed client at one address calling itself by another client's name
// (the name a direct client at 127.0.0.1 has) is a user of its own: the
// list finds it by its real address and ends it alone.
TEST_F(IdentityOnSambaFixture, ANameTakenFromAnotherAddressIsAnotherUser) {
  const auto innocent = ConnectFrom("127.0.0.1", "127.0.0.1");
  rules->List().AddEntry("INTRUDER", "127.0.0.5");
  rules->Status().SetWhoToKick(KickList);
  Tick();
  const auto intruder = server.StartClient("127.0.0.1", server.DiskShare(), false, "127.0.0.5");
  TUser* seen = nullptr;
  ASSERT_TRUE(TickUntil([&] {
    if (!seen) seen = UserFrom("127.0.0.1", "127.0.0.5");
    return seen && !seen->IsOpen();
  })) << Diagnostics(intruder);
  EXPECT_EQ(seen->IPAddress, "127.0.0.5");
  EXPECT_EQ(StatusText(seen->ExitStatus), "Kicked");
  EXPECT_TRUE(SambaTestServer::WaitUntil([&] { return !server.ClientRunning(intruder); }));
  Tick();
  TUser* kept = UserFrom("127.0.0.1", "127.0.0.1");
  ASSERT_NE(kept, nullptr);
  EXPECT_TRUE(kept->IsOpen());
  EXPECT_EQ(StatusText(kept->ExitStatus), "Logged off");
  EXPECT_TRUE(server.ClientRunning(innocent)) << Diagnostics(innocent);
}

// A second session of a name from another address is no part of the first
// user: the address filter judges it by its own address.
TEST_F(IdentityOnSambaFixture, ANameReconnectingFromAnotherAddressIsJudgedByIt) {
  settings.IPFilter = true;
  settings.IPFilterString = "127.0.0.1";
  const auto home = ConnectFrom("ROAMER", "127.0.0.1");
  const auto away = server.StartClient("ROAMER", server.DiskShare(), false, "127.0.0.6");
  TUser* second = nullptr;
  ASSERT_TRUE(TickUntil([&] {
    if (!second) second = UserFrom("roamer", "127.0.0.6");
    return second && !second->IsOpen();
  })) << Diagnostics(away);
  EXPECT_EQ(StatusText(second->ExitStatus), "Kicked");
  Tick();
  TUser* first = UserFrom("roamer", "127.0.0.1");
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->IsOpen());
  EXPECT_TRUE(server.ClientRunning(home)) << Diagnostics(home);
}

// A crowd arriving and leaving at once: every user has its address from the
// first reading that shows it, and keeps it in the history however short
// its visit.
TEST_F(IdentityOnSambaFixture, ACrowdKeepsItsAddressesFromTheFirstReading) {
  std::vector<SambaTestServer::ClientId> crowd;
  constexpr int kCrowd = 12;
  for (int i = 0; i < kCrowd; ++i) {
    crowd.push_back(server.StartClient("CROWD" + std::to_string(i), server.DiskShare(), false,
                                       "127.0.0." + std::to_string(20 + i)));
  }
  bool allAddressed = true;
  ASSERT_TRUE(TickUntil(
      [&] {
        for (const UserEntry& u : monitor->Users) {
          allAddressed = allAddressed && !u.Name.empty() && u.User()->IPAddress == u.Address;
        }
        return monitor->CurrentUserCount == kCrowd;
      },
      std::chrono::seconds(60)));
  EXPECT_TRUE(allAddressed);
  for (const auto id : crowd) server.StopClient(id);
  ASSERT_TRUE(TickUntil([&] { return monitor->CurrentUserCount == 0; }));
  ConnectionTree& former = monitor->TreeViewFormer;
  ASSERT_EQ(former.TopLevelCount(), kCrowd);
  for (int i = 0; i < former.TopLevelCount(); ++i) {
    const auto* user = UserOf(former.TopLevel(i));
    const std::string suffix = user->Name.substr(5);
    EXPECT_EQ(user->IPAddress, "127.0.0." + std::to_string(20 + std::stoi(suffix))) << user->Name;
  }
}

}  // namespace
}  // namespace qm::test
