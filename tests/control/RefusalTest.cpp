// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// A user neither root nor in the group is told so in one line, at once,
// with the group and how to join it: the program run as nobody.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "os/ProcessRunner.h"
#include "support/ScopedVariable.h"
#include "support/TempFolder.h"

namespace qm::test {
namespace {

void ExpectOneLineAsNobody(std::vector<std::string> args, const std::string& begins) {
  if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs root";
  std::string name = ProcessRunner::Run({"id", "-nu", "65534"}).out;
  args.insert(args.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                             QM_BIN_DIR "/quillmoor98"});
  const ProcessResult r = ProcessRunner::Run(args);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  EXPECT_EQ(r.err.rfind(begins, 0), 0u) << r.err;
  name.pop_back();
  EXPECT_NE(r.err.find("group quillmoor98; to join it: sudo adduser " + name +
                       " quillmoor98, then log in again"),
            std::string::npos)
      << r.err;
}

TEST(Refusal, ConsoleOnSambaRefusesAtOnceTouchingNothing) {
  TempFolder folder("qm-refusal");  // 0700: as the installed folders are to nobody
  ScopedVariable server("QUILLMOOR98_SERVER", std::nullopt);
  ScopedVariable elevate("QUILLMOOR98_SAMBA_ELEVATE", std::nullopt);
  ScopedVariable settings("QUILLMOOR98_SYSCONFDIR", folder.Path());
  ScopedVariable data("QUILLMOOR98_PROGRAM_DIR", folder.Path());
  ExpectOneLineAsNobody({"--console"}, "info: You don't have the necessary rights");
  EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

TEST(Refusal, CommandLineNamesTheGroup) {
  TempFolder folder("qm-refusal");
  const std::string socket = folder.File("control");
  ExpectOneLineAsNobody(
      {"ctl", "--socket", socket, "status"},
      "quillmoor98 ctl: cannot reach the monitor at " + socket + ": Permission denied");
}

}  // namespace
}  // namespace qm::test
