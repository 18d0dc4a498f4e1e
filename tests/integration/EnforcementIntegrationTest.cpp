// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// Disconnection on command, by rule and by the program watch, on a real,
// private smbd with real smbclient clients.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "MonitorOnSamba.h"
#include "core/Text.h"
#include "os/ProcessRunner.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKicked = "Kicked";
constexpr const char* kLoggedOff = "Logged off";

using EnforcementOnSambaTest = MonitorOnSambaTest;

TEST_F(EnforcementOnSambaTest, KickButtonEndsOnlyTheSelectedClient) {
  // Two sessions of ALPHA (one holding a file) and BETA, all from the same
  // loopback address: the client name alone tells them apart.
  const auto alphaDisk = Connect("ALPHA", server.DiskShare(), true);
  const auto alphaQueue = Connect("ALPHA", server.PrintShare());
  const auto beta = Connect("BETA", server.PrintShare());
  ASSERT_FALSE(HasFailure());
  ASSERT_EQ(monitor->CurrentUserCount, 2);
  TreeNode* alphaNode = Current("alpha");
  ASSERT_EQ(alphaNode->ChildCount(), 2);
  TUser* alpha = UserOf(alphaNode);

  monitor->TreeViewCurrent.Select(alphaNode);
  rules->Disconnector().KickButtonClick();

  // Marked at once, still shown until a tick finds the sessions gone.
  EXPECT_EQ(StatusText(alpha->ExitStatus), kKicked);
  EXPECT_EQ(Current("alpha"), alphaNode);
  ASSERT_TRUE(TickUntil([&] { return Current("alpha") == nullptr; }))
      << Diagnostics(alphaDisk) << Diagnostics(alphaQueue);

  TreeNode* former = Former("alpha");
  ASSERT_EQ(UserOf(former), alpha);
  EXPECT_NE(alpha->ExitTime, 0);
  // The user, both shares and the open file.
  EXPECT_EQ(Records(former),
            Records(kKicked, {"alpha", server.DiskShare(), OpenFilePath(), server.PrintShare()}));

  // Both of ALPHA's smbclients find their connection gone (at their next
  // keep-alive echo) and end; BETA keeps its own.
  for (const auto id : {alphaDisk, alphaQueue}) {
    EXPECT_TRUE(SambaTestServer::WaitUntil([&] { return !server.ClientRunning(id); }))
        << Diagnostics(id);
  }
  Tick();
  Tick();
  TUser* betaUser = UserOf(Current("beta"));
  ASSERT_NE(betaUser, nullptr);
  EXPECT_EQ(betaUser->ExitTime, 0);
  EXPECT_EQ(Records(Former("beta")), Records(kLoggedOff, {"beta", server.PrintShare()}));
  EXPECT_TRUE(server.ClientRunning(beta)) << Diagnostics(beta);
  EXPECT_EQ(monitor->CurrentUserCount, 1);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(EnforcementOnSambaTest, MaxNumberDisconnectsTheNewestClient) {
  settings.MaxNumber = 2;
  const auto first = Connect("FIRST", server.DiskShare());
  const auto second = Connect("SECOND", server.DiskShare());
  ASSERT_FALSE(HasFailure());
  Tick();
  EXPECT_EQ(monitor->CurrentUserCount, 2);

  // The tick that finds the third client over the limit disconnects it.
  const auto third = Client("THIRD", server.DiskShare());
  ASSERT_TRUE(TickUntil([&] { return Former("third") != nullptr; })) << Diagnostics(third);
  TUser* newest = UserOf(Former("third"));
  ASSERT_NE(newest, nullptr);
  EXPECT_EQ(StatusText(newest->ExitStatus), kKicked);
  ASSERT_TRUE(TickUntil([&] { return Current("third") == nullptr; })) << Diagnostics(third);
  EXPECT_EQ(Records(Former("third")), Records(kKicked, {"third", server.DiskShare()}));

  Tick();
  EXPECT_EQ(monitor->CurrentUserCount, 2);
  for (const char* key : {"first", "second"}) {
    ASSERT_NE(Current(key), nullptr) << key;
    EXPECT_EQ(Records(Former(key)), Records(kLoggedOff, {key, server.DiskShare()}));
  }
  EXPECT_TRUE(server.ClientRunning(first));
  EXPECT_TRUE(server.ClientRunning(second));
}

TEST_F(EnforcementOnSambaTest, IdleRuleSparesTheClientHoldingAFile) {
  settings.Idle = 1;
  // Not on the disk share: the open files of a share are listed by account
  // and path, so every client of the one test account there would hold the
  // file.
  const auto idle = Connect("IDLER", server.PrintShare());
  const auto busy = Connect("BUSY", server.DiskShare(), true);
  ASSERT_FALSE(HasFailure());
  TUser* idler = UserOf(Former("idler"));

  // Exactly the limit is not yet idle.
  clock.AdvanceSeconds(60);
  Tick();
  EXPECT_EQ(StatusText(idler->ExitStatus), kLoggedOff);

  clock.AdvanceSeconds(1);
  Tick();
  EXPECT_EQ(StatusText(idler->ExitStatus), kKicked);
  ASSERT_TRUE(TickUntil([&] { return Current("idler") == nullptr; })) << Diagnostics(idle);
  EXPECT_EQ(Records(Former("idler")), Records(kKicked, {"idler", server.PrintShare()}));

  // The open file refreshed the other client's activity at every tick.
  clock.AdvanceSeconds(3600);
  Tick();
  TUser* holder = UserOf(Current("busy"));
  ASSERT_NE(holder, nullptr) << Diagnostics(busy);
  EXPECT_EQ(holder->LastActivity, clock.Now());
  EXPECT_EQ(Records(Former("busy")),
            Records(kLoggedOff, {"busy", server.DiskShare(), OpenFilePath()}));
  EXPECT_TRUE(server.ClientRunning(busy));
}

TEST_F(EnforcementOnSambaTest, KickAllStatusEndsEveryClient) {
  const auto a = Connect("ALPHA", server.DiskShare(), true);
  const auto b = Connect("BETA", server.PrintShare());
  ASSERT_FALSE(HasFailure());

  rules->Status().SetWhoToKick(KickAll);
  EXPECT_EQ(view.status[0], "Disconnect status: Disconnect all");
  ASSERT_TRUE(TickUntil([&] { return monitor->CurrentUserCount == 0; }))
      << Diagnostics(a) << Diagnostics(b);
  EXPECT_EQ(Records(Former("alpha")),
            Records(kKicked, {"alpha", server.DiskShare(), OpenFilePath()}));
  EXPECT_EQ(Records(Former("beta")), Records(kKicked, {"beta", server.PrintShare()}));
  EXPECT_TRUE(messages.shown.empty());
}

// A copy of /bin/sleep in a folder of its own, started and stopped by the
// test.
class WatchedProgram {
 public:
  WatchedProgram() {
    char pattern[] = "/tmp/qm-watch-XXXXXX";
    if (::mkdtemp(pattern)) folder_ = pattern;
    path_ = folder_ + "/sleep";
    std::error_code ec;
    copied_ = !folder_.empty() && fs::copy_file("/bin/sleep", path_, ec) && !ec &&
              ::chmod(path_.c_str(), 0755) == 0;
  }
  ~WatchedProgram() {
    Stop();
    std::error_code ec;
    if (!folder_.empty()) fs::remove_all(folder_, ec);
  }
  WatchedProgram(const WatchedProgram&) = delete;
  WatchedProgram& operator=(const WatchedProgram&) = delete;

  bool Copied() const { return copied_; }
  const std::string& Folder() const { return folder_; }
  const std::string& Path() const { return path_; }

  // Started, and /proc already names the copy as its executable.
  bool Start(std::string& why) {
    pid_ = ProcessRunner::Spawn({path_, "300"}, -1, -1, -1, why);
    if (pid_ < 0) return false;
    const std::string exe = "/proc/" + std::to_string(pid_) + "/exe";
    return SambaTestServer::WaitUntil([&] {
      std::error_code ec;
      return fs::read_symlink(exe, ec) == path_;
    });
  }
  void Stop() {
    if (pid_ > 0) ProcessRunner::KillAndReap(pid_);
    pid_ = -1;
  }

 private:
  std::string folder_;
  std::string path_;
  bool copied_ = false;
  pid_t pid_ = -1;
};

TEST_F(EnforcementOnSambaTest, RunningListedProgramDisconnectsEveryoneUntilItEnds) {
  WatchedProgram program;
  ASSERT_TRUE(program.Copied()) << "cannot copy /bin/sleep to " << program.Path();
  rules->Programs().Add(AsciiUpper(program.Path()));
  settings.Quake = true;
  rules->Status().SetWhoToKick(KickList);

  const auto a = Connect("ALPHA", server.DiskShare());
  const auto b = Connect("BETA", server.DiskShare());
  ASSERT_FALSE(HasFailure());
  TUser* alpha = UserOf(Former("alpha"));
  TUser* beta = UserOf(Former("beta"));
  Tick();
  EXPECT_FALSE(rules->Watcher().QuakeActive());
  EXPECT_EQ(monitor->CurrentUserCount, 2);

  std::string why;
  ASSERT_TRUE(program.Start(why)) << why;
  Tick();
  EXPECT_TRUE(rules->Watcher().QuakeActive());
  EXPECT_EQ(rules->Status().WhoToKick(), KickAll);
  EXPECT_EQ(view.status[0], "Disconnect status: Disconnect all");
  // The same tick disconnected both.
  EXPECT_EQ(StatusText(alpha->ExitStatus), kKicked);
  EXPECT_EQ(StatusText(beta->ExitStatus), kKicked);
  ASSERT_TRUE(TickUntil([&] { return monitor->CurrentUserCount == 0; }))
      << Diagnostics(a) << Diagnostics(b);
  EXPECT_EQ(rules->Status().WhoToKick(), KickAll);

  program.Stop();
  Tick();
  EXPECT_FALSE(rules->Watcher().QuakeActive());
  EXPECT_EQ(rules->Status().WhoToKick(), KickList);
  EXPECT_EQ(view.status[0], "Disconnect status: Disconnect list");

  // With the program gone a new client stays.
  const auto c = Connect("GAMMA", server.DiskShare());
  Tick();
  TUser* gamma = UserOf(Current("gamma"));
  ASSERT_NE(gamma, nullptr) << Diagnostics(c);
  EXPECT_EQ(StatusText(gamma->ExitStatus), kLoggedOff);
}

TEST_F(EnforcementOnSambaTest, CopyStartedFromAnotherFolderIsNotWatched) {
  WatchedProgram program;
  ASSERT_TRUE(program.Copied()) << "cannot copy /bin/sleep to " << program.Path();
  // The list names the same program in a folder beside the copy's.
  rules->Programs().Add(AsciiUpper(program.Folder() + "/other/sleep"));
  settings.Quake = true;
  const auto a = Connect("ALPHA", server.DiskShare());
  ASSERT_FALSE(HasFailure());

  std::string why;
  ASSERT_TRUE(program.Start(why)) << why;
  Tick();
  Tick();
  EXPECT_FALSE(rules->Watcher().QuakeActive());
  EXPECT_EQ(rules->Status().WhoToKick(), KickNobody);
  TUser* alpha = UserOf(Current("alpha"));
  ASSERT_NE(alpha, nullptr) << Diagnostics(a);
  EXPECT_EQ(StatusText(alpha->ExitStatus), kLoggedOff);
}

}  // namespace
}  // namespace qm::test
