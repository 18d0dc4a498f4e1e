// The monitor over the simulated server with the real nbtstat tool, the
// real work files and the real resolver.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "core/MonitorFixture.h"
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
      : statePath(
            (test::WriteFileText(folder.File("state.json"), kState), folder.File("state.json"))),
        variable("sim:" + statePath),
        starter(LookupServices{}),
        table(folder.Path(), NameTable::ToolBesideProgram()),
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

  test::Watchdog watchdog{180s, "the end-to-end lookup"};
  test::ScratchFolder folder;
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

  // Every complete pass removed its work files.
  EXPECT_FALSE(test::Exists(folder.File("IP.txt")));
  EXPECT_FALSE(test::Exists(folder.File("NetBIOS.txt")));
}

TEST_F(EndToEndTest, ReverseLookupAgreesWithTheResolver) {
  EXPECT_EQ(NameTable::ReverseLookup({127, 0, 0, 1}), ResolverName("127.0.0.1"));
}

}  // namespace
}  // namespace qm
