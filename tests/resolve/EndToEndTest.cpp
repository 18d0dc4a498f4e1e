// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The monitor over the simulated server with the real nbtstat tool and the
// real resolver.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "core/MonitorFixture.h"
#include "enforce/EnforcementRules.h"
#include "platform/sim/SimulatedServerBackend.h"
#include "resolve/ResolveTestSupport.h"
#include "resolve/TIPThreadStarter.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

// What the system's resolver calls the address: the official name that
// `getent hosts` prints, or "Not known".
std::string ResolverName(const std::string& address) {
  FILE* pipe = popen(("getent hosts " + address).c_str(), "r");
  if (!pipe) return "(getent failed)";
  char buffer[1024] = {};
  const bool got = fgets(buffer, sizeof buffer, pipe) != nullptr;
  pclose(pipe);
  if (!got) return kNotKnown;
  std::istringstream line(buffer);
  std::string ip, name;
  line >> ip >> name;
  return name.empty() ? std::string(kNotKnown) : name;
}

constexpr const char* kState = R"({
  "family": "nt",
  "shares": [{"name": "DOCS", "path": "/srv/docs"}],
  "connections": [{"share": "DOCS", "client": "PC1", "user": "alice"},
                  {"share": "DOCS", "client": "PC10", "user": "bob"},
                  {"share": "DOCS", "client": "GHOST", "user": "carol"}],
  "sessions": [{"client": "PC1", "user": "alice", "address": "127.0.0.1"},
               {"client": "PC10", "user": "bob", "address": "127.0.0.2"}]
})";

// Sets the server for the tool the lookups run, before any thread starts.
struct ServerVariable {
  explicit ServerVariable(const std::string& value) {
    ::setenv("QUILLMOOR98_SERVER", value.c_str(), 1);
  }
  ~ServerVariable() { ::unsetenv("QUILLMOOR98_SERVER"); }
};

class EndToEndTest : public ::testing::Test {
 protected:
  EndToEndTest()
      : statePath((test::WriteText(folder.File("state.json"), kState), folder.File("state.json"))),
        variable("sim:" + statePath),
        starter(LookupServices{}),
        table(NameTable::ToolBesideProgram()),
        backend(statePath),
        api(backend),
        monitor(api, settings, MonitorPorts{}),
        cycle(monitor) {}

  void SetUp() override {
    ASSERT_TRUE(test::Exists(table.ToolPath()))
        << table.ToolPath() << " is missing: build quillmoor98-nbtstat";
    ASSERT_EQ(api.LoadServerApi(), 0) << api.LoadError();
    starter.Services() = TIPThreadStarter::ForMonitor(monitor, steps, table);
    monitor.SetLookups(&starter);
  }

  TUser& User(const std::string& client) {
    return *dynamic_cast<TUser*>(monitor.TreeViewFormer.LastTopLevel(client)->Data());
  }
  bool Published(const std::string& client) {
    return steps.ServeFor([&] { return User(client).IPAddress != kNotKnownYet; }, 60s);
  }
  void State(const std::string& text) {
    test::WriteText(statePath + ".new", text);
    std::rename((statePath + ".new").c_str(), statePath.c_str());
  }

  test::Watchdog watchdog{180s, "the end-to-end lookup"};
  test::TempFolder folder;
  const std::string statePath;
  ServerVariable variable;
  UiStepQueue steps;
  TIPThreadStarter starter;
  NameTable table;
  Settings settings;
  SimulatedServerBackend backend;
  ServerApi api;
  Monitor monitor;
  RefreshCycle cycle;
};

TEST_F(EndToEndTest, UsersGetTheirAddressesAndHostNamesFromTheSessionTable) {
  cycle.RefreshTimerTimer();
  ASSERT_EQ(monitor.CurrentUserCount, 3);
  ASSERT_TRUE(Published("PC1"));
  ASSERT_TRUE(Published("PC10"));
  EXPECT_EQ(User("PC1").IPAddress, "127.0.0.1");
  EXPECT_EQ(User("PC1").HostName, ResolverName("127.0.0.1"));
  EXPECT_EQ(User("PC10").IPAddress, "127.0.0.2");
  EXPECT_EQ(User("PC10").HostName, ResolverName("127.0.0.2"));
  EXPECT_EQ(User("PC1").UserName, "alice");

  // A client without a session is given up after five attempts.
  ASSERT_TRUE(Published("GHOST"));
  EXPECT_EQ(User("GHOST").IPAddress, kNotKnown);
  EXPECT_EQ(User("GHOST").HostName, kNotKnown);
}

TEST_F(EndToEndTest, ClientThatLeftIsNotGivenTheAddressOfALongerName) {
  // PC1's session is gone while its connection is still listed.
  State(R"({"family": "nt",
    "shares": [{"name": "DOCS", "path": "/srv/docs"}],
    "connections": [{"share": "DOCS", "client": "PC1", "user": "alice"},
                    {"share": "DOCS", "client": "PC10", "user": "bob"},
                    {"share": "DOCS", "client": "In", "user": "carol"}],
    "sessions": [{"client": "PC10", "user": "bob", "address": "127.0.0.2"}]})");
  cycle.RefreshTimerTimer();
  ASSERT_TRUE(Published("PC1"));
  ASSERT_TRUE(Published("In"));
  EXPECT_EQ(User("PC1").IPAddress, kNotKnown);
  EXPECT_EQ(User("In").IPAddress, kNotKnown);
  EXPECT_EQ(User("PC10").IPAddress, "127.0.0.2");
}

TEST_F(EndToEndTest, ThingsPlantedUnderTheOldWorkFileNamesChangeNothing) {
  const std::string victim = folder.File("victim");
  test::WriteText(victim, "keep me\n");
  // A FIFO and a device, then links, where the work files used to be: in
  // the working folder the tool inherits.
  const std::string linked = folder.File("linked");
  ASSERT_EQ(::mkdir(linked.c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo(folder.File("IP.txt").c_str(), 0666), 0);
  if (::mknod(folder.File("NetBIOS.txt").c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
    ASSERT_EQ(::symlink("/dev/full", folder.File("NetBIOS.txt").c_str()), 0);  // not root
  }
  for (const char* name : {"/IP.txt", "/NetBIOS.txt"}) {
    ASSERT_EQ(::symlink(victim.c_str(), (linked + name).c_str()), 0);
  }
  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(::chdir(folder.Path().c_str()), 0);
  cycle.RefreshTimerTimer();
  bool published = Published("PC1");
  ASSERT_EQ(::chdir(linked.c_str()), 0);
  State(R"({"family": "nt", "shares": [{"name": "DOCS", "path": "/srv/docs"}],
    "connections": [{"share": "DOCS", "client": "NEW", "user": "dan"}],
    "sessions": [{"client": "NEW", "user": "dan", "address": "127.0.0.9"}]})");
  cycle.RefreshTimerTimer();
  published = Published("NEW") && published;
  ASSERT_EQ(::chdir(here), 0);
  ASSERT_TRUE(published);
  EXPECT_EQ(User("PC1").IPAddress, "127.0.0.1");
  EXPECT_EQ(User("NEW").IPAddress, "127.0.0.9");
  struct stat st {};
  ASSERT_EQ(::lstat(folder.File("IP.txt").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(test::ReadText(victim), "keep me\n");
}

TEST_F(EndToEndTest, IPv6ClientWithAWholeAddressPassesTheAddressFilter) {
  const std::string v6 = "fd12:3456:789a:bcde:f012:3456:789a:bcde";
  ASSERT_EQ(v6.size(), 39u);
  State(R"({"family": "nt",
    "shares": [{"name": "DOCS", "path": "/srv/docs"}],
    "connections": [{"share": "DOCS", "client": "V6", "user": "alice"},
                    {"share": "DOCS", "client": "V4", "user": "bob"}],
    "sessions": [{"client": "V6", "user": "alice", "address": ")" +
        v6 + R"("},
                 {"client": "V4", "user": "bob", "address": "127.0.0.1"}]})");
  EnforcementRules rules(monitor, nullptr);
  monitor.SetRules(&rules);
  settings.IPFilter = true;
  settings.IPFilterString = "fd12:3456:789a";
  cycle.RefreshTimerTimer();
  ASSERT_TRUE(Published("V6"));
  ASSERT_TRUE(Published("V4"));
  EXPECT_EQ(User("V6").IPAddress, v6);
  cycle.RefreshTimerTimer();
  cycle.RefreshTimerTimer();
  EXPECT_NE(monitor.Users.Find("V6"), nullptr);
  EXPECT_EQ(monitor.Users.Find("V4"), nullptr);
  EXPECT_EQ(User("V4").ExitStatus, stKicked);
  monitor.SetRules(nullptr);
}

TEST_F(EndToEndTest, ReverseLookupAgreesWithTheResolver) {
  ReverseResolver resolver;
  EXPECT_EQ(resolver.HostName("127.0.0.1", {}), ResolverName("127.0.0.1"));
}

}  // namespace
}  // namespace qm
