// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// What a user who is neither root nor in the group is told: one line, at
// once, naming the group and how to join it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "control/ControlSocket.h"
#include "os/ProcessRunner.h"
#include "support/ScopedVariable.h"
#include "support/TempFolder.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;

TEST(Refusal, SaysHowToJoinTheGroup) {
  EXPECT_EQ(ControlSocket::HowToJoinGroup("alice"),
            "sudo adduser alice quillmoor98, then log in again");
}

// The real program as "nobody", whose name the refusals must give.
class RefusalAsNobody : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0) {
      GTEST_SKIP() << "needs root and setpriv to run the program as another user";
    }
    ::chmod(folder.Path().c_str(), 0700);  // nobody may not even look inside
  }
  ProcessResult RunAsNobody(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                     "--clear-groups", std::string(QM_BIN_DIR) + "/quillmoor98"};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessRunner::Options options;
    options.timeout = 20s;
    return ProcessRunner::Run(argv, options);
  }
  static std::string Nobody() {
    const ProcessResult id = ProcessRunner::Run({"id", "-nu", "65534"});
    std::string name = id.out.substr(0, id.out.find('\n'));
    return name.empty() ? "nobody" : name;
  }
  static void ExpectOneLineNamingTheGroup(const ProcessResult& r) {
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("group quillmoor98"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("sudo adduser " + Nobody() + " quillmoor98, then log in again"),
              std::string::npos)
        << r.err;
  }

  TempFolder folder{"qm-refusal"};
};

TEST_F(RefusalAsNobody, ConsoleOnSambaRefusesAtOnceTouchingNothing) {
  // The installed layout: settings and data in folders of root's and the group's.
  ScopedVariable server("QUILLMOOR98_SERVER", std::nullopt);
  ScopedVariable elevate("QUILLMOOR98_SAMBA_ELEVATE", std::nullopt);
  ScopedVariable settings("QUILLMOOR98_SYSCONFDIR", folder.Path().c_str());
  ScopedVariable data("QUILLMOOR98_PROGRAM_DIR", folder.Path().c_str());
  ScopedVariable runtime("XDG_RUNTIME_DIR", folder.Path().c_str());
  const ProcessResult r = RunAsNobody({"--console"});
  ExpectOneLineNamingTheGroup(r);
  EXPECT_EQ(r.err.rfind("info: You don't have the necessary rights to execute this program", 0), 0u)
      << r.err;
  EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

TEST_F(RefusalAsNobody, CommandLineNamesTheGroupOfTheSocket) {
  const ProcessResult r = RunAsNobody({"ctl", "--socket", folder.File("control"), "status"});
  ExpectOneLineNamingTheGroup(r);
  EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace qm::test
