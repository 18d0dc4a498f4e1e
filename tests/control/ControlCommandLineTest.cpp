// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// quillmoor98 ctl against the real console on the simulated server.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "control/ControlClient.h"
#include "control/ControlServer.h"
#include "control/ControlSocket.h"
#include "observe/integration/ConsoleChild.h"

namespace qm::test {
namespace {

using std::chrono::seconds;

struct Ctl {
  int status = -1;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    console.Connect("PC1");
    console.Connect("PC2", "127.0.0.2");
    console.WriteState();
    console.Start({"--step", "--control", Socket()});
    ASSERT_TRUE(console.WaitFor("tick 1 users 2", seconds(20))) << console.out;
  }

  std::string Socket() const { return console.Dir() + "/control"; }

  Ctl Run(std::vector<std::string> args) {
    args.insert(args.begin(),
                {std::string(QM_BIN_DIR) + "/quillmoor98", "ctl", "--socket", Socket()});
    const std::string out = console.Dir() + "/ctl.out", err = console.Dir() + "/ctl.err";
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    std::string error;
    const pid_t pid = ProcessRunner::Spawn(args, -1, o, e, error);
    ::close(o);
    ::close(e);
    Ctl r;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
      r.status = WEXITSTATUS(status);
    }
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
  }

  // One more tick, and its line.
  void Tick(int n) {
    console.Line();
    ASSERT_TRUE(console.WaitFor("tick " + std::to_string(n) + " ", seconds(20))) << console.out;
  }

  ConsoleChild console;
};

TEST_F(ControlTest, UsageErrorsExitTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {"bogus"}, {"disconnect"}, {"kick-status", "maybe"}, {"set", "Idle"}, {"list", "add"}};
  for (const auto& args : cases) {
    const Ctl r = Run(args);
    EXPECT_EQ(r.status, 2) << testing::PrintToString(args) << r.err;
  }
}

TEST_F(ControlTest, RefusalsExitOneWithTheReason) {
  ASSERT_EQ(Run({"list", "add", "pc9", "10.0.0.9"}).status, 0);
  const struct {
    std::vector<std::string> args;
    std::string reason;
  } cases[] = {
      {{"disconnect", "PC9"}, "No current user is named PC9"},
      {{"list", "add", "PC9"}, "User already in Disconnect List!"},
      {{"list", "remove", "PC8"}, "PC8 is not in the Disconnect List"},
      {{"set", "Idle", "60"}, "Idle must be from 0 to 59"},
      {{"set", "Refresh", "0x10"}, "Refresh must be a whole number"},
      {{"set", "IPC", "maybe"}, "IPC must be true or false"},
      {{"set", "IPFilterString", "10.\n[Admin]"}, "must not hold a control character"},
      {{"set", "SoundFile", " x.wav"}, "must not begin or end with a blank"},
      {{"set", "Colour", "1"}, "no setting is named Colour"},
      {{"get", "Colour"}, "no setting is named Colour"},
      {{"list", "add", std::string(300, 'N')}, "name must have at most 255 bytes"},
  };
  for (const auto& c : cases) {
    const Ctl r = Run(c.args);
    EXPECT_EQ(r.status, 1) << c.args[0] << " " << r.out;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
  }
  // Nothing refused was recorded as a change.
  EXPECT_EQ(console.out.find("control    uid 0: set"), std::string::npos);
}

TEST_F(ControlTest, ChangesAreAppliedRecordedAndSavedAtShutdown) {
  struct stat st {};
  ASSERT_EQ(::stat(Socket().c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0007, 0u) << "others may not connect";

  EXPECT_EQ(Run({"list", "add", "pc2", "127.0.0.2"}).out,
            "Added PC2 (127.0.0.2) to the Disconnect List\n");
  EXPECT_EQ(Run({"kick-status", "list"}).out, "list\n");
  EXPECT_EQ(Run({"set", "idle", "5"}).out, "5\n");
  EXPECT_EQ(Run({"set", "IPFilterString", "127.0."}).status, 0);
  EXPECT_EQ(Run({"get", "Idle", "--json"}).out, "{\"Idle\":5}\n");
  const Ctl disconnected = Run({"disconnect", "PC1"});
  EXPECT_EQ(disconnected.status, 0) << disconnected.err;
  // The command ended PC1's sessions at once: the next tick finds it gone,
  // while the list rule marks PC2, which goes at the tick after.
  Tick(2);
  const auto users = nlohmann::json::parse(Run({"users", "--json"}).out);
  ASSERT_EQ(users["users"].size(), 1u) << users.dump();
  EXPECT_EQ(users["users"][0]["client"], "PC2");
  EXPECT_EQ(users["users"][0]["exit_status"], "kicked");
  Tick(3);
  const auto status = nlohmann::json::parse(Run({"status", "--json"}).out);
  EXPECT_EQ(status["users"], 0);
  EXPECT_EQ(status["disconnect_status"], "list");
  EXPECT_EQ(status["server_readable"], true);

  const auto history = nlohmann::json::parse(Run({"history", "--json"}).out);
  ASSERT_EQ(history["visits"].size(), 2u);
  EXPECT_EQ(history["visits"][0]["client"], "PC1");
  EXPECT_EQ(history["visits"][0]["exit_status"], "kicked");
  EXPECT_EQ(history["visits"][0]["shares"][0]["name"], "DOCS");
  const std::string text = Run({"history", "--text"}).out;
  EXPECT_EQ(text.rfind("Log file generated by Quillmoor98 on ", 0), 0u) << text;
  EXPECT_NE(text.find("\r\nPC1     user-PC1     127.0.0.1     "), std::string::npos) << text;

  for (const char* line :
       {"control    uid 0: list_add PC2 127.0.0.2", "control    uid 0: disconnect_status list",
        "control    uid 0: settings Idle=5", "control    uid 0: disconnect PC1"}) {
    EXPECT_NE(console.out.find(line), std::string::npos) << line << "\n" << console.out;
  }
  EXPECT_EQ(console.Finish(), 0);
  EXPECT_EQ(Slurp(console.Dir() + "/KickList.dat"), "PC2\r\n127.0.0.2\r\n");
  const std::string ini = Slurp(console.Dir() + "/Quillmoor98.ini");
  EXPECT_NE(ini.find("Idle=5"), std::string::npos) << ini;
  EXPECT_NE(ini.find("IPFilterString=127.0."), std::string::npos) << ini;
  EXPECT_NE(ini.find("WhoToKick=1"), std::string::npos) << ini;
  EXPECT_NE(::stat(Socket().c_str(), &st), 0) << "the socket goes with the program";
}

TEST_F(ControlTest, WatchStreamsTheEventsAsJsonLines) {
  const std::string out = console.Dir() + "/watch.out";
  const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  std::string error;
  const pid_t watcher = ProcessRunner::Spawn(
      {std::string(QM_BIN_DIR) + "/quillmoor98", "ctl", "watch", "--json", "--socket", Socket()},
      -1, o, -1, error);
  ::close(o);
  ASSERT_GT(watcher, 0) << error;
  // The stream is open once a change shows in it.
  ControlClient client(Socket(), 10);
  auto waitFor = [&](const std::string& text) {
    for (int i = 0; i < 100 && Slurp(out).find(text) == std::string::npos; ++i) {
      ::usleep(100 * 1000);
    }
    return Slurp(out).find(text) != std::string::npos;
  };
  for (int i = 0; i < 50 && Slurp(out).find("disconnect_status") == std::string::npos; ++i) {
    client.Request("PUT", "/v1/disconnect-status", R"({"disconnect_status":"nobody"})");
    ::usleep(100 * 1000);
  }
  console.Connect("PC3");
  console.WriteState();
  Tick(2);
  EXPECT_TRUE(waitFor("PC3")) << Slurp(out);
  ASSERT_EQ(client.Request("POST", "/v1/disconnect", R"({"client":"PC3"})").status, 200);
  EXPECT_TRUE(waitFor("\"disconnect\""));
  ProcessRunner::KillAndReap(watcher);
  std::istringstream lines(Slurp(out));
  std::vector<nlohmann::json> events;
  for (std::string line; std::getline(lines, line);) events.push_back(nlohmann::json::parse(line));
  auto has = [&](const char* kind, const char* event, const char* key, const char* value) {
    return std::any_of(events.begin(), events.end(), [&](const nlohmann::json& e) {
      return e["kind"] == kind && e["event"] == event && e[key] == value;
    });
  };
  EXPECT_TRUE(has("user", "begin", "client", "PC3")) << Slurp(out);
  EXPECT_TRUE(has("control", "disconnect", "target", "PC3")) << Slurp(out);
}

TEST_F(ControlTest, RequestsAreBoundedAndRoutedStrictly) {
  ControlClient client(Socket(), 10);
  const struct {
    const char* method;
    const char* path;
    std::string body;
    long status;
  } cases[] = {
      {"PUT", "/v1/settings", std::string(100 * 1024, ' '), 413},
      {"GET", "/v1/nothing", "", 404},
      {"DELETE", "/v1/users", "", 405},
      {"POST", "/v1/disconnect", "[1,2", 400},
      {"PUT", "/v1/settings", R"({"Idle":5,"Count":5000})", 400},
      {"PUT", "/v1/disconnect-status", R"({"disconnect_status":3})", 400},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(client.Request(c.method, c.path, c.body).status, c.status) << c.path;
  }
  // All or nothing: the valid Idle of the refused request was not taken.
  EXPECT_EQ(Run({"get", "Idle"}).out, "10\n");
}

TEST_F(ControlTest, ASecondConsoleDoesNotTakeALiveSocket) {
  ConsoleChild second;
  second.Start({"--step", "--control", Socket()});
  EXPECT_EQ(second.Finish(), 1);
  EXPECT_NE(Slurp(second.Dir() + "/stderr.txt").find("another program serves"), std::string::npos);
  EXPECT_EQ(Run({"status"}).status, 0) << "the first one still answers";
}

TEST(ControlClientTest, NoMonitorIsARefusal) {
  ConsoleChild nobody;
  const std::string socket = nobody.Dir() + "/none";
  ControlClient client(socket, 5);
  const ControlClient::Response r = client.Request("GET", "/v1/status");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.error.empty());
}

TEST(ControlServerTest, ARequestTheMonitorNeverTakesIsAnsweredInTime) {
  ConsoleChild folder;
  const std::string path = folder.Dir() + "/control";
  ControlSocket socket;
  std::string error;
  const int fd = socket.Listen(path, error);
  ASSERT_GE(fd, 0) << error;
  ControlServer::Limits limits;
  limits.answerSeconds = 1;
  ControlServer server(limits);
  ASSERT_TRUE(server.Start(fd, error)) << error;
  const ControlClient::Response r = ControlClient(path, 20).Request("GET", "/v1/status");
  EXPECT_EQ(r.status, 503);
  EXPECT_NE(r.body.find("did not answer in time"), std::string::npos) << r.body;
  server.Stop();
  socket.Remove();
}

}  // namespace
}  // namespace qm::test
