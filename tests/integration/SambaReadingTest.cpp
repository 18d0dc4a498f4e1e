// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// What the monitor makes of Samba's own reports on a private smbd: who
// holds each open file, readings that fail or abort, thousands of open
// files, usershares, a broken smb.conf, smbstatus gone, and a wall clock
// that jumps.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "MonitorOnSamba.h"
#include "os/AtomicFile.h"
#include "os/ProcessRunner.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

class SambaReadingTest : public MonitorOnSambaTest {
 protected:
  // The names of the files shown under a client's share.
  std::vector<std::string> Files(const std::string& key, const std::string& share) {
    TreeNode* s = FindNode(monitor->TreeViewCurrent, Current(key), share);
    std::vector<std::string> names;
    for (int i = 0; s && i < s->ChildCount(); ++i) names.push_back(s->Child(i)->Text());
    return names;
  }
  // A folder (and a file in it) every client account may use.
  std::string Folder(const std::string& name, const std::string& file = "") {
    const std::string path = server.Folder() + "/" + name;
    fs::create_directories(path);
    ::chmod(path.c_str(), 0777);
    if (!file.empty()) MakeFile(path + "/" + file);
    return path;
  }
  void MakeFile(const std::string& path) {
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, "test\n", error)) << error;
    ::chmod(path.c_str(), 0666);
  }
  SambaTestServer::ClientId OpenOn(const std::string& name, const std::string& share,
                                   const std::string& file) {
    const SambaTestServer::ClientId id = Client(name, share);
    server.SendCommand(id, "open " + file);
    return id;
  }
};

TEST_F(SambaReadingTest, TwoClientsOfOneAccountEachShowTheirOwnFile) {
  MakeFile(server.DiskPath() + "/other.txt");
  Connect("alpha", server.DiskShare(), true);
  const auto beta = OpenOn("beta", server.DiskShare(), "other.txt");
  ASSERT_TRUE(TickUntil([&] { return !Files("beta", server.DiskShare()).empty(); }))
      << Diagnostics(beta);
  EXPECT_EQ(Files("alpha", server.DiskShare()), std::vector<std::string>{OpenFilePath()});
  EXPECT_EQ(Files("beta", server.DiskShare()),
            std::vector<std::string>{server.DiskPath() + "/other.txt"});
  EXPECT_EQ(monitor->OpenFileCount, 2);
}

TEST_F(SambaReadingTest, ShareWhosePathIsAPrefixOfAnothersShowsOnlyItsOwnFiles) {
  const std::string a = Folder("a", "x.txt");
  const std::string ab = Folder("ab", "y.txt");
  EditConf("", "[a]\n  path = " + a + "\n[ab]\n  path = " + ab + "\n");
  Connect("alpha", "a");
  const auto beta = OpenOn("beta", "ab", "y.txt");
  ASSERT_TRUE(TickUntil([&] { return !Files("beta", "ab").empty(); })) << Diagnostics(beta);
  Tick();
  EXPECT_TRUE(Files("alpha", "a").empty());
  EXPECT_EQ(Files("beta", "ab"), std::vector<std::string>{ab + "/y.txt"});
  EXPECT_EQ(monitor->OpenFileCount, 1);
}

TEST_F(SambaReadingTest, SlowReadingChangesNothingAndIsSaidOnce) {
  // The elevation words run every tool; this wrapper makes smbstatus hang
  // while a flag file exists.
  const std::string flag = server.Folder() + "/slow";
  const std::string wrapper = server.Folder() + "/slow-wrapper";
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(
      wrapper,
      "#!/bin/sh\ncase \"$1\" in *smbstatus) [ -e " + flag + " ] && sleep 5;; esac\nexec \"$@\"\n",
      error))
      << error;
  ::chmod(wrapper.c_str(), 0755);
  ::setenv("QUILLMOOR98_SAMBA_ELEVATE", wrapper.c_str(), 1);
  SambaServerBackend::Options options = server.BackendOptions();
  options.elevate = SambaTools::ElevationFor(std::getenv("QUILLMOOR98_SAMBA_ELEVATE"), true, false);
  ::unsetenv("QUILLMOOR98_SAMBA_ELEVATE");
  options.toolTimeout = std::chrono::milliseconds(800);
  Bind(options);

  Connect("alpha", server.DiskShare(), true);
  TTreeNodeCustom* visit = UserOf(Current("alpha"));
  ASSERT_NE(visit, nullptr);
  MakeFile(flag);
  Tick();
  Tick();
  EXPECT_FALSE(monitor->ServerStateRead);
  EXPECT_EQ(UserOf(Current("alpha")), visit);
  EXPECT_TRUE(Shows("alpha", server.DiskShare(), true));
  EXPECT_EQ(monitor->OpenFileCount, 1);
  EXPECT_EQ(visit->ExitTime, 0);
  ASSERT_EQ(view.notices.size(), 1u);
  EXPECT_NE(view.notices[0].find("Samba's state cannot be read"), std::string::npos);

  fs::remove(flag);
  Tick();
  EXPECT_TRUE(monitor->ServerStateRead);
  EXPECT_EQ(UserOf(Current("alpha")), visit);  // the same visit goes on
  EXPECT_EQ(view.notices.back(), "Samba's state can be read again");
  EXPECT_EQ(monitor->FormerUserCount, 1);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SambaReadingTest, UsershareNextToPrintersIsADiskShareWithItsFiles) {
  const std::string usershares = server.Folder() + "/usershares";
  fs::create_directories(usershares);
  ::chmod(usershares.c_str(), 01755);  // as smbd demands; it reads it as the client
  const std::string pub = Folder("pub", "z.txt");
  EditConf("  usershare path = " + usershares +
               "\n  usershare max shares = 10\n  usershare owner only = no\n",
           "[printers]\n  path = " + server.PrintPath() + "\n  printable = yes\n");
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(usershares + "/pub",
                                  "#VERSION 2\npath=" + pub +
                                      "\ncomment=\nusershare_acl=S-1-1-0:F\nguest_ok=n\n"
                                      "sharename=pub\n",
                                  error, 0644))
      << error;
  const auto alpha = OpenOn("alpha", "pub", "z.txt");
  ASSERT_TRUE(TickUntil([&] { return !Files("alpha", "pub").empty(); })) << Diagnostics(alpha);
  TreeNode* share = FindNode(monitor->TreeViewCurrent, Current("alpha"), "pub");
  EXPECT_EQ(share->ImageIndex(), kImageDiskShare);
  EXPECT_TRUE(share->Data()->DiskShare);
  EXPECT_EQ(Files("alpha", "pub"), std::vector<std::string>{pub + "/z.txt"});
}

TEST_F(SambaReadingTest, BrokenSmbConfKeepsTheSharesUntilItIsRepaired) {
  Connect("alpha", server.DiskShare(), true);
  std::string good, error;
  ASSERT_TRUE(ReadWholeFile(server.ConfPath(), good, error)) << error;
  ASSERT_TRUE(
      WriteFileAtomically(server.ConfPath(), good + "[broken]\n  writeable = maybe\n", error))
      << error;
  Tick();
  Tick();
  EXPECT_TRUE(Shows("alpha", server.DiskShare(), true));
  ASSERT_EQ(view.notices.size(), 1u);
  EXPECT_NE(view.notices[0].find("smb.conf has an error"), std::string::npos) << view.notices[0];
  EXPECT_NE(view.notices[0].find("maybe"), std::string::npos) << view.notices[0];
  EXPECT_FALSE(view.terminateRequested);
  EXPECT_TRUE(messages.shown.empty());

  ASSERT_TRUE(WriteFileAtomically(server.ConfPath(), good, error)) << error;
  Tick();
  EXPECT_EQ(view.notices.back(), "smb.conf reads without error again");
  EXPECT_TRUE(Shows("alpha", server.DiskShare(), true));
}

// A file held with MAXIMUM_ALLOWED makes smbstatus's full listing abort,
// thousands make it slow (here: over 100 ms): the visit of another client
// goes on, every file is shown, the change is said once.
TEST_F(SambaReadingTest, ListingThatAbortsOrGrowsSlowIsReadApart) {
  const std::string missing = SambaTestServer::HoldFilesUnavailable();
  if (!missing.empty()) GTEST_SKIP() << missing;
  struct Case {
    int files;
    std::uint32_t access;
    std::chrono::milliseconds slow;
    const char* said;
  };
  for (const Case& c : {Case{2, 0x02000000u, std::chrono::seconds(5), "failed ("},
                        Case{2000, 0x3u, std::chrono::milliseconds(100), "open files; "}}) {
    SCOPED_TRACE(c.files);
    SambaServerBackend::Options options = server.BackendOptions();
    options.slowListing = c.slow;
    Bind(options);
    view.notices.clear();
    const auto alpha = Connect("alpha", server.DiskShare(), true);
    TTreeNodeCustom* visit = UserOf(Current("alpha"));
    const auto holder = server.HoldFiles(c.files, c.access);
    // It comes from the loopback address and sends that as its name. The
    // notice may come a reading after the files: wait for both.
    ASSERT_TRUE(TickUntil(
        [&] {
          return Files("127.0.0.1", server.DiskShare()).size() == std::size_t(c.files) &&
                 !view.notices.empty();
        },
        std::chrono::seconds(90)))
        << Diagnostics(holder);
    Tick();  // and it is said once
    EXPECT_EQ(UserOf(Current("alpha")), visit);
    EXPECT_EQ(Files("alpha", server.DiskShare()), std::vector<std::string>{OpenFilePath()});
    EXPECT_EQ(monitor->OpenFileCount, c.files + 1);
    ASSERT_EQ(view.notices.size(), 1u);
    EXPECT_NE(view.notices[0].find(c.said), std::string::npos) << view.notices[0];
    server.StopClient(holder);
    server.StopClient(alpha);
    ASSERT_TRUE(TickUntil([&] { return !Current("alpha") && !Current("127.0.0.1"); }));
  }
}

// smbstatus with a smb.conf it cannot load (it answers empty lists from
// its own lock folder) or gone: no visit ends, each is said once.
TEST_F(SambaReadingTest, ReadingThatCannotVouchForItsAnswerEndsNoVisit) {
  const std::string tool = server.Folder() + "/smbstatus";
  fs::create_symlink(ProcessRunner::Find("smbstatus"), tool);
  SambaServerBackend::Options options = server.BackendOptions();
  options.smbstatus = tool;
  Bind(options);
  std::string good, error;
  ASSERT_TRUE(ReadWholeFile(server.ConfPath(), good, error)) << error;
  struct Case {
    const char* name;
    std::function<void()> breakIt, mendIt;
    const char* said;
  };
  const std::vector<Case> cases = {
      {"broken smb.conf",
       [&] { ASSERT_TRUE(WriteFileAtomically(server.ConfPath(), "[global\n" + good, error)); },
       [&] { ASSERT_TRUE(WriteFileAtomically(server.ConfPath(), good, error)); },
       "cannot load Samba's configuration"},
      {"smbstatus gone", [&] { fs::remove(tool); },
       [&] { fs::create_symlink(ProcessRunner::Find("smbstatus"), tool); },
       "No such file or directory"},
  };
  Connect("alpha", server.DiskShare(), true);
  TTreeNodeCustom* visit = UserOf(Current("alpha"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view.notices.clear();
    c.breakIt();
    Tick();
    Tick();
    EXPECT_FALSE(monitor->ServerStateRead);
    EXPECT_EQ(UserOf(Current("alpha")), visit);
    EXPECT_EQ(monitor->OpenFileCount, 1);
    const auto said = std::count_if(view.notices.begin(), view.notices.end(), [&](const auto& n) {
      return n.find("Samba's state cannot be read") != std::string::npos &&
             n.find(c.said) != std::string::npos;
    });
    EXPECT_EQ(said, 1) << testing::PrintToString(view.notices);
    c.mendIt();
    Tick();
    EXPECT_EQ(view.notices.back(), "Samba's state can be read again");
  }
  EXPECT_EQ(monitor->FormerUserCount, 1);
  EXPECT_TRUE(messages.shown.empty());
  // The start-up check finds the tools as the runs do: in PATH only.
  const std::string path = std::getenv("PATH");
  ::setenv("PATH", server.Folder().c_str(), 1);  // holds smbstatus only
  std::string why;
  const bool loaded = SambaServerBackend(server.BackendOptions()).Load(why);
  ::setenv("PATH", path.c_str(), 1);
  EXPECT_FALSE(loaded);
  EXPECT_NE(why.find("testparm was not found"), std::string::npos) << why;
}

TEST_F(SambaReadingTest, IdleRuleCountsRealTimeWhenTheWallClockJumps) {
  settings.Idle = 1;
  Connect("alpha", server.DiskShare());
  clock.AdvanceSeconds(35);
  clock.StepWallSeconds(3600);  // summer time begins
  Tick();
  ASSERT_NE(UserOf(Current("alpha")), nullptr);
  EXPECT_EQ(UserOf(Current("alpha"))->ExitStatus, stLoggedOff);
  clock.StepWallSeconds(-7200);  // and the clock is set back
  clock.AdvanceSeconds(30);
  EXPECT_TRUE(TickUntil([&] { return !Current("alpha"); }));
  EXPECT_EQ(UserOf(Former("alpha"))->ExitStatus, stKicked);
}

}  // namespace
}  // namespace qm::test
