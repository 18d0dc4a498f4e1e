// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The address lookup of connected clients on a real, private smbd: the
// lookup threads share captures of the built nbtstat tool's listings of
// that smbd, pair them by whole names and ask the system's resolver for
// the host name.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MonitorOnSamba.h"
#include "os/ProcessRunner.h"
#include "resolve/NameTable.h"
#include "resolve/TIPThreadStarter.h"
#include "support/ScopedVariable.h"
#include "thread/UiStepQueue.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;

const std::string kTool = std::string(QM_BIN_DIR) + "/" + NameTable::kToolName;

// The address the kernel gives a connection to the server's address: the
// one every smbclient of the test comes from. "" when it cannot be told.
std::string SourceAddressTowards(const std::string& address) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return {};
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(139);
  ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
  sockaddr_in from{};
  socklen_t length = sizeof from;
  std::string found;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&from), &length) == 0) {
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text)) found = text;
  }
  ::close(fd);
  return found;
}

// What the system's resolver names the address, or "Not known".
std::string ResolverName(const std::string& address) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) return kNotKnown;
  char host[NI_MAXHOST] = {};
  if (::getnameinfo(reinterpret_cast<sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0,
                    NI_NAMEREQD) != 0) {
    return kNotKnown;
  }
  return host;
}

// The lookups wired as the program wires them: the services of the
// monitor, the built tool, the Disconnect List's UpdateAddress, and the
// test thread as the user-interface thread that runs the publish steps.
class LookupOnSambaTest : public MonitorOnSambaTest {
 protected:
  void SetUp() override {
    MonitorOnSambaTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(ProcessRunner::Executable(kTool)) << kTool << " is missing";
    // Before any lookup thread starts: the tool reads this smbd.
    serverVariable.emplace("QUILLMOOR98_SERVER", "samba");
    confVariable.emplace("QUILLMOOR98_SMB_CONF", server.ConfPath());
    programDirectory = server.Folder() + "/program";
    std::filesystem::create_directories(programDirectory);
    names = std::make_unique<NameTable>(kTool);
    LookupServices services = TIPThreadStarter::ForMonitor(*monitor, steps, *names);
    services.UpdateAddress = [this](const std::string& name, const std::string& address) {
      rules->List().UpdateAddress(name, address);
    };
    starter = std::make_unique<TIPThreadStarter>(std::move(services));
    monitor->SetLookups(starter.get());
  }
  void TearDown() override {
    MonitorOnSambaTest::TearDown();
    confVariable.reset();
    serverVariable.reset();
  }

  // Runs the publish steps until the user's address is no longer "Not
  // known yet".
  // The address comes with the session; the lookup publishes the host name.
  bool Published(TUser* user) {
    return user && steps.ServeFor([&] { return user->HostName != kNotKnownYet; }, 30s);
  }

  std::optional<ScopedVariable> serverVariable;
  std::optional<ScopedVariable> confVariable;
  std::string programDirectory;
  // Outlive the monitor, whose sweep ends the threads that use them.
  UiStepQueue steps;
  std::unique_ptr<NameTable> names;
  std::unique_ptr<TIPThreadStarter> starter;
};

TEST_F(LookupOnSambaTest, UserGetsClientAddressAndResolverHostName) {
  // Samba reports the name as "alpha"; the list's names ignore case.
  rules->List().AddEntry("ALPHA", kIDontKnow);
  rules->List().AddEntry("OMEGA", kIDontKnow);
  const auto alpha = Connect("ALPHA", server.DiskShare());
  ASSERT_FALSE(HasFailure());
  TUser* user = UserOf(Current("alpha"));
  ASSERT_NE(user, nullptr);

  ASSERT_TRUE(Published(user)) << Diagnostics(alpha);
  const std::string address = SourceAddressTowards(server.Address());
  ASSERT_EQ(address.rfind("127.", 0), 0u) << address;
  EXPECT_EQ(user->IPAddress, address);
  EXPECT_EQ(user->HostName, ResolverName(address));
  EXPECT_EQ(user->UserName, server.UserName());
  EXPECT_EQ(rules->List().Entry(0).EntryAddress, address);
  EXPECT_EQ(rules->List().Entry(1).EntryAddress, kIDontKnow);
  // The listings came through a pipe: no work file anywhere.
  EXPECT_TRUE(std::filesystem::is_empty(programDirectory));
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LookupOnSambaTest, ClientLeavingBeforeItsLookupPublishedGetsFinalTexts) {
  const auto alpha = Connect("ALPHA", server.DiskShare());
  ASSERT_FALSE(HasFailure());
  TUser* user = UserOf(Current("alpha"));
  ASSERT_NE(user, nullptr);

  // The sweep waits for the thread, serving its publish steps meanwhile.
  server.StopClient(alpha);
  ASSERT_TRUE(TickUntil([&] { return Current("alpha") == nullptr; }));
  EXPECT_EQ(user->IPThread, nullptr);
  // The address came with the session; the host name, if the lookup got
  // that far.
  EXPECT_EQ(user->IPAddress, SourceAddressTowards(server.Address()));
  if (user->HostName != kNotKnown) {
    EXPECT_EQ(user->HostName, ResolverName(user->IPAddress));
  }
  EXPECT_EQ(steps.PendingCount(), 0u);
}

TEST_F(LookupOnSambaTest, NamesAtTheListingsLimitsGetTheirAddress) {
  // A full 15-character NetBIOS name, and one with a blank in it.
  const auto full = Connect("ABCDEFGHIJKLMNO", server.DiskShare());
  const auto blank = Connect("MY PC", server.DiskShare());
  ASSERT_FALSE(HasFailure());
  const std::string address = SourceAddressTowards(server.Address());
  for (const char* key : {"abcdefghijklmno", "my pc"}) {
    TUser* user = UserOf(Current(key));
    ASSERT_TRUE(Published(user)) << key << Diagnostics(full) << Diagnostics(blank);
    EXPECT_EQ(user->IPAddress, address) << key;
    EXPECT_EQ(user->HostName, ResolverName(address)) << key;
  }
}

TEST_F(LookupOnSambaTest, AddressFilterActsFromTheFirstReading) {
  settings.IPFilter = true;
  settings.IPFilterString = "10.";
  const auto alpha = Connect("ALPHA", server.DiskShare());
  ASSERT_FALSE(HasFailure());
  TUser* user = UserOf(Current("alpha"));
  ASSERT_NE(user, nullptr);

  // Samba's reading gave the address with the session: the filter waits
  // for no lookup.
  EXPECT_EQ(user->IPAddress.rfind("127.", 0), 0u) << user->IPAddress;
  EXPECT_EQ(StatusText(user->ExitStatus), "Kicked");
  ASSERT_TRUE(TickUntil([&] { return Current("alpha") == nullptr; })) << Diagnostics(alpha);
}

TEST_F(LookupOnSambaTest, CrowdArrivingAtOnceSharesAFewCapturesAndLeavesQuickly) {
  // Every address is found from a handful of captures, not two tool runs
  // per client; some leave while others are still looked up; the rest are
  // ended by the shutdown sweep with their lookups pending or done.
  constexpr int kClients = 200;
  std::vector<SambaTestServer::ClientId> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(Client("CROWD" + std::to_string(i), server.DiskShare()));
  }
  ASSERT_FALSE(HasFailure());
  const auto allShown = [&] {
    for (int i = 0; i < kClients; ++i) {
      if (!Current("crowd" + std::to_string(i))) return false;
    }
    return true;
  };
  ASSERT_TRUE(TickUntil(allShown, 90s)) << Diagnostics(clients.back());
  for (int i = 0; i < 3; ++i) server.StopClient(clients[static_cast<std::size_t>(i)]);
  ASSERT_TRUE(
      TickUntil([&] { return Current("crowd0") == nullptr && Current("crowd2") == nullptr; }, 30s));
  const std::string address = SourceAddressTowards(server.Address());
  for (int i = 3; i < kClients; ++i) {
    TUser* user = UserOf(Current("crowd" + std::to_string(i)));
    ASSERT_TRUE(Published(user)) << i;
    EXPECT_EQ(user->IPAddress, address) << i;
  }
  // Clients arrive over several ticks, each lookup waits for the next
  // capture, and one that finds nothing tries again: still far fewer
  // captures than clients.
  EXPECT_LT(names->CapturesStarted(), 40u);
  EXPECT_TRUE(std::filesystem::is_empty(programDirectory));
  // A reading that caught a tree connect before its session made no user
  // of it: every user, current or former, is a client with its account.
  const ConnectionTree* trees[] = {&monitor->TreeViewCurrent, &monitor->TreeViewFormer};
  for (const ConnectionTree* tree : trees) {
    for (int i = 0; i < tree->TopLevelCount(); ++i) {
      TreeNode* node = tree->TopLevel(i);
      EXPECT_EQ(node->Text().rfind("crowd", 0), 0u) << node->Text();
      EXPECT_EQ(UserOf(node)->UserName, server.UserName()) << node->Text();
    }
  }
}

}  // namespace
}  // namespace qm::test
