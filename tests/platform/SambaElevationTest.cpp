// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// Running Samba's tools through an elevation command (sudo -n for a member
// of the group quillmoor98): which prefix is chosen, that every command
// line the backend elevates is one the packaged sudoers drop-in allows, and
// that a refusal reaches the user as the rights message.
#include <fnmatch.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "StandInSamba.h"
#include "core/MonitorFixture.h"
#include "core/ServerApi.h"
#include "os/AtomicFile.h"
#include "platform/samba/SambaServerBackend.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

TEST(SambaElevationTest, SettingWinsUnsetMeansSudoForAGroupMemberWhoIsNotRoot) {
  EXPECT_EQ(SambaTools::ElevationFor("doas  -n ", false, true), (Strings{"doas", "-n"}));
  EXPECT_EQ(SambaTools::ElevationFor("sudo -n", true, false), (Strings{"sudo", "-n"}));
  // Set but empty: explicitly none, even where sudo would be allowed.
  EXPECT_EQ(SambaTools::ElevationFor("", false, true), Strings{});
  EXPECT_EQ(SambaTools::ElevationFor(nullptr, false, true), (Strings{"sudo", "-n"}));
  EXPECT_EQ(SambaTools::ElevationFor(nullptr, true, true), Strings{});
  EXPECT_EQ(SambaTools::ElevationFor(nullptr, false, false), Strings{});
}

// The command entries of the drop-in's Cmnd_Alias lines: the program's path
// and its arguments as one string, as sudo compares them.
struct AllowedCommand {
  std::string path;
  std::string arguments;
};

std::string SourceFile(const std::string& relative) {
  const char* source = std::getenv("QM_SOURCE_DIR");
  const fs::path root =
      source ? fs::path(source) : fs::path(__FILE__).parent_path().parent_path().parent_path();
  std::string text, error;
  EXPECT_TRUE(ReadWholeFile((root / relative).string(), text, error)) << error;
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<AllowedCommand> DropInCommands(const std::string& text) {
  // Continued lines joined, comments dropped.
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
    end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string part = text.substr(at, end - at);
    if (line.empty() && Trim(part).rfind('#', 0) == 0) continue;
    const bool continued = !part.empty() && part.back() == '\\';
    if (continued) part.pop_back();
    line += part;
    if (!continued) {
      lines.push_back(line);
      line.clear();
    }
  }
  std::vector<AllowedCommand> commands;
  for (const auto& l : lines) {
    if (Trim(l).rfind("Cmnd_Alias", 0) != 0) continue;
    // After "NAME =": entries split at unescaped commas, escapes undone.
    std::string entry;
    bool escaped = false;
    auto finish = [&] {
      const std::string e = Trim(entry);
      const auto blank = e.find(' ');
      commands.push_back(
          {e.substr(0, blank), blank == std::string::npos ? std::string() : Trim(e.substr(blank))});
      entry.clear();
    };
    for (char c : l.substr(l.find('=') + 1)) {
      if (escaped) {
        entry += c;
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == ',') {
        finish();
      } else {
        entry += c;
      }
    }
    finish();
  }
  return commands;
}

// sudo's rule: arguments with a wildcard match as a pattern, others exactly.
bool Allowed(const std::vector<AllowedCommand>& allowed, const std::string& path,
             const std::string& arguments) {
  for (const auto& a : allowed) {
    if (a.path != path) continue;
    const bool pattern = a.arguments.find_first_of("*?[") != std::string::npos;
    if (pattern ? ::fnmatch(a.arguments.c_str(), arguments.c_str(), 0) == 0
                : a.arguments == arguments) {
      return true;
    }
  }
  return false;
}

// The backend over stand-in tools with Samba's own smb.conf (no
// --configfile), the only form the drop-in allows; a stand-in smbd keeps
// the server "running".
class ElevatedBackendTest : public test::StandInSambaTest {
 protected:
  void SetUp() override {
    SetUpStandIns("qm-elevate");
    // No pid directory in smb.conf: testparm is asked for Samba's own.
    Tool("testparm", "case \"$*\" in *parameter-name*) echo " + dir_ +
                         "/pid;; *) printf '[data]\\n\\tpath = /srv/data\\n';; esac");
    // One client, served by an smbd process that is not the main one.
    Tool("smbstatus",
         R"(echo '{"sessions": {"1": {"session_id": "1", "server_id": {"pid": "1111"},
                 "remote_machine": "alpha", "username": "u", "hostname": "ipv4:127.0.0.1:40000"}},
                 "tcons": {}, "open_files": {}}')");
    Tool("smbcontrol", "");
  }
  // A recording sudo ("-n", then the command it runs) and end-session helper.
  void RecordingSudo() {
    Tool("sudo", "shift; exec \"$@\"");
    Tool("quillmoor98-end-session", "");
    options_.elevate = {dir_ + "/sudo", "-n"};
    options_.endSession = dir_ + "/quillmoor98-end-session";
  }
};

TEST_F(ElevatedBackendTest, EveryElevatedCommandLineIsOneTheDropInAllows) {
  RecordingSudo();
  // The full listing aborts (as it does while a client holds a file with
  // WRITE_OWNER access): its parts are read too.
  Tool("smbstatus", R"(case "$*" in --json) kill -ABRT $$;; esac
echo '{"sessions": {"1": {"session_id": "1", "server_id": {"pid": "1111"},
      "remote_machine": "alpha", "username": "u", "hostname": "ipv4:127.0.0.1:40000"}}}')");
  SambaServerBackend backend(options_);
  ServerApi api(backend);
  ASSERT_EQ(api.LoadServerApi(), 0) << api.LoadError();
  EXPECT_EQ(api.SharesInit(), 2) << backend.LastFailure();
  api.SharesExit();
  const PlatformText client = api.ToPlatformString("\\\\alpha");
  EXPECT_EQ(api.DeleteSession(client.get(), nullptr, 0), NERR_Success);

  const Strings calls = Calls("sudo");
  // The share list, the pid folder, the full listing and its three parts,
  // the shutdown.
  ASSERT_EQ(calls.size(), 7u);
  const auto allowed = DropInCommands(SourceFile("packaging/sudoers.d/quillmoor98"));
  ASSERT_GE(allowed.size(), 4u);
  for (const auto& call : calls) {
    // "-n DIR/TOOL ARGS": the tool as sudo finds it on a Debian system.
    ASSERT_EQ(call.rfind("-n " + dir_ + "/", 0), 0u) << call;
    const std::string rest = call.substr(4 + dir_.size());
    const auto blank = rest.find(' ');
    const std::string tool = rest.substr(0, blank);
    const std::string arguments = blank == std::string::npos ? "" : rest.substr(blank + 1);
    // The helper's installed path is filled in when the drop-in is built.
    const std::string path =
        tool == "quillmoor98-end-session" ? "@QM_END_SESSION_TOOL@" : "/usr/bin/" + tool;
    EXPECT_TRUE(Allowed(allowed, path, arguments))
        << "the drop-in does not allow: " << tool << " " << arguments;
  }
  // Look-alikes the drop-in must refuse; smbcontrol itself would end any
  // process, the main smbd included.
  EXPECT_FALSE(Allowed(allowed, "/usr/bin/smbcontrol", "1111 shutdown"));
  EXPECT_FALSE(Allowed(allowed, "/usr/bin/smbcontrol", "smbd shutdown"));
  EXPECT_FALSE(Allowed(allowed, "/usr/bin/smbcontrol", "12 --configfile=/tmp/x shutdown"));
  EXPECT_FALSE(Allowed(allowed, "/usr/bin/smbstatus", "--json --configfile=/tmp/x"));
  // A cluster node's own number, and another node's process.
  EXPECT_TRUE(Allowed(allowed, "/usr/bin/ctdb", "pnn"));
  EXPECT_TRUE(Allowed(allowed, "@QM_END_SESSION_TOOL@", "1:1111"));
}

// smbstatus on a cluster node lists the sessions of every node: a process
// id of another node is never ended as this computer's process.
TEST_F(ElevatedBackendTest, AnotherNodesSessionIsEndedOnlyThroughThatNode) {
  RecordingSudo();
  Tool("ctdb", "cat " + dir_ + "/pnn");
  Tool("testparm", "case \"$*\" in *parameter-name*) echo " + dir_ + "/pid;; *) cat " + dir_ +
                       "/testparm.out;; esac");
  // alpha is served by node 1, beta by node 0, gamma names none.
  Tool("smbstatus", R"(echo '{"sessions": [
      {"server_id": {"pid": "1111", "vnn": "1"}, "remote_machine": "alpha"},
      {"server_id": {"pid": "1111", "vnn": "0"}, "remote_machine": "beta"},
      {"server_id": {"pid": "1111"}, "remote_machine": "gamma"}]}')");
  options_.ctdb = dir_ + "/ctdb";
  struct Case {
    const char* global;  // smb.conf's [global]
    const char* pnn;     // what ctdb pnn says
    Strings ended;       // the helper's calls after ending alpha, beta, gamma, alpha
    std::size_t notices;
  };
  for (const Case& c : {Case{"\tclustering = yes\n", "0\n", {"1:1111", "1111", "1:1111"}, 1},
                        Case{"\tclustering = yes\n", "PNN:1\n", {"1111", "0:1111", "1111"}, 1},
                        // ctdb cannot tell: nothing can be told to be this node's.
                        Case{"\tclustering = Yes\n", "connection refused\n", {}, 2},
                        // Off a cluster only the non-cluster value (or none) is this server's.
                        Case{"", "0\n", {"1111"}, 1}}) {
    Write("testparm.out", std::string("[global]\n") + c.global + "[data]\n\tpath = /srv/data\n");
    Write("pnn", c.pnn);
    std::filesystem::remove(dir_ + "/quillmoor98-end-session.calls");
    SambaServerBackend backend(options_);
    ServerApi api(backend);
    ASSERT_EQ(api.LoadServerApi(), 0) << api.LoadError();
    EXPECT_EQ(api.SharesInit(), 2) << backend.LastFailure();
    api.SharesExit();
    for (const char* client : {"\\\\alpha", "\\\\beta", "\\\\gamma", "\\\\alpha"}) {
      const PlatformText name = api.ToPlatformString(client);
      api.DeleteSession(name.get(), nullptr, 0);
    }
    EXPECT_EQ(Calls("quillmoor98-end-session"), c.ended) << c.global << c.pnn;
    // Each reason a session was not ended is told once.
    EXPECT_EQ(backend.TakeNotices().size(), c.notices) << c.global << c.pnn;
  }
}

TEST_F(ElevatedBackendTest, RefusedElevationGivesAccessDeniedAndTheRightsMessage) {
  // What sudo -n says to a user it will not run the tool for.
  Tool("sudo", "echo 'sudo: a password is required' >&2; exit 1");
  options_.elevate = {dir_ + "/sudo", "-n"};
  SambaServerBackend backend(options_);
  ServerApi api(backend);
  ASSERT_EQ(api.LoadServerApi(), 0) << api.LoadError();
  EXPECT_EQ(api.SharesInit(), -static_cast<int>(ERROR_ACCESS_DENIED));
  api.SharesExit();
  EXPECT_NE(backend.LastFailure().find("a password is required"), std::string::npos)
      << backend.LastFailure();
  // The tools themselves never ran.
  EXPECT_TRUE(Calls("testparm").empty());
  EXPECT_TRUE(Calls("smbstatus").empty());

  test::RecordingView view;
  test::RecordingMessages messages;
  ManualClock clock;
  Settings settings;
  MonitorPorts ports;
  ports.clock = &clock;
  ports.messages = &messages;
  ports.view = &view;
  Monitor monitor(api, settings, ports);
  RefreshCycle cycle(monitor);
  cycle.RefreshTimerTimer();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0], "info: You don't have the necessary rights to execute this program");
  EXPECT_TRUE(view.timerStopped);
  EXPECT_TRUE(view.terminateRequested);
}

}  // namespace
}  // namespace qm
