// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "EnforceFixture.h"
#include "enforce/ProgramWatcher.h"
#include "platform/ProcProcessList.h"

extern char** environ;

namespace qm::test {
namespace {

class ProgramWatcherTest : public ::testing::Test {
 protected:
  ProgramWatcherTest() { programs.Add("C:/GAMES/X.EXE"); }
  FakeProcessList processes;
  ProgramList programs;
  DisconnectStatus status;
  ProgramWatcher watcher{&processes, programs, status};
};

TEST_F(ProgramWatcherTest, ListedProgramForcesAllAndEndRestoresList) {
  status.SetWhoToKick(KickList);
  processes.Run(4, "/bin/sh");
  watcher.QuakeNT();
  EXPECT_FALSE(watcher.QuakeActive());
  processes.Run(8, "c:/games/x.exe");
  watcher.QuakeNT();
  EXPECT_TRUE(watcher.QuakeActive());
  EXPECT_EQ(watcher.SavedWhoToKick(), 1);
  EXPECT_EQ(status.WhoToKick(), KickAll);
  processes.StopAll();
  watcher.QuakeNT();
  EXPECT_FALSE(watcher.QuakeActive());
  EXPECT_EQ(status.WhoToKick(), KickList);
}

TEST_F(ProgramWatcherTest, ChoiceDuringForcingLastsOnlyUntilNextCheck) {
  processes.Run(8, "C:/GAMES/X.EXE");
  watcher.QuakeNT();
  status.SetWhoToKick(KickNobody);
  watcher.QuakeNT();
  EXPECT_EQ(status.WhoToKick(), KickAll);
  EXPECT_EQ(watcher.SavedWhoToKick(), 0);
}

TEST_F(ProgramWatcherTest, ProgramsOneAfterAnotherKeepTheFirstSavedStatus) {
  programs.Add("/OPT/OTHER");
  processes.Run(8, "C:/GAMES/X.EXE");
  watcher.QuakeNT();
  processes.StopAll();
  processes.Run(9, "/opt/other");
  watcher.QuakeNT();
  processes.StopAll();
  watcher.QuakeNT();
  EXPECT_EQ(status.WhoToKick(), KickNobody);
}

TEST_F(ProgramWatcherTest, SameProgramFromAnotherFolderDoesNotMatch) {
  processes.Run(8, "D:/GAMES/X.EXE");
  processes.Run(9, "C:/GAMES/X.EXE.OLD");
  processes.Run(10, "X.EXE");
  watcher.QuakeNT();
  watcher.Quake95();
  EXPECT_FALSE(watcher.QuakeActive());
}

TEST_F(ProgramWatcherTest, IdBufferGrowsInStepsUntilEveryProcessFits) {
  // 250 processes: 1000 bytes; 400 and 800 are full, 1200 is not.
  for (std::uint32_t id = 1; id <= 249; ++id) processes.Run(id, "/bin/true");
  processes.Run(250, "C:/GAMES/X.EXE");  // the very last one
  watcher.QuakeNT();
  EXPECT_EQ(processes.bufferSizes, (std::vector<std::uint32_t>{400, 800, 1200}));
  EXPECT_TRUE(watcher.QuakeActive());
  EXPECT_EQ(processes.pathReads, 250);
}

TEST_F(ProgramWatcherTest, ExactlyFullBufferIsTriedOnceMore) {
  for (std::uint32_t id = 1; id <= 100; ++id) processes.Run(id, "/bin/true");
  watcher.QuakeNT();
  EXPECT_EQ(processes.bufferSizes, (std::vector<std::uint32_t>{400, 800}));
  EXPECT_EQ(processes.pathReads, 100);
}

TEST_F(ProgramWatcherTest, NtCheckExaminesAllSnapshotWalkStopsAtMatch) {
  processes.Run(1, "C:/GAMES/X.EXE");
  processes.Run(2, "/bin/a");
  processes.Run(3, "/bin/b");
  watcher.QuakeNT();
  EXPECT_EQ(processes.pathReads, 3);
  processes.pathReads = 0;
  watcher.Quake95();
  EXPECT_EQ(processes.pathReads, 1);
  EXPECT_TRUE(watcher.QuakeActive());
}

TEST_F(ProgramWatcherTest, UnreadableProcessesAreSkipped) {
  processes.Run(1, "");
  processes.Run(2, "C:/GAMES/X.EXE");
  watcher.Quake95();
  EXPECT_TRUE(watcher.QuakeActive());
}

TEST_F(ProgramWatcherTest, FailedProcessListEndsForcing) {
  status.SetWhoToKick(KickList);
  processes.Run(2, "C:/GAMES/X.EXE");
  watcher.QuakeNT();
  processes.fail = true;
  watcher.QuakeNT();
  EXPECT_EQ(status.WhoToKick(), KickList);
  watcher.Quake95();
  EXPECT_FALSE(watcher.QuakeActive());
}

TEST_F(ProgramWatcherTest, NoProcessListFindsNothing) {
  ProgramWatcher none(nullptr, programs, status);
  none.QuakeNT();
  none.Quake95();
  EXPECT_FALSE(none.QuakeActive());
}

// ---- inside the tick ----

TEST(ProgramWatchInTick, RunsOnlyWithQuakeAndDisconnectsEverybody) {
  EnforceWorld w;
  w.rules.Programs().Add("/OPT/GAME");
  w.Connect("A");
  w.Connect("B");
  w.processes.Run(5, "/opt/game");
  w.Tick();
  EXPECT_EQ(w.processes.enumCalls, 0);
  EXPECT_EQ(w.rules.WhoToKick(), KickNobody);
  w.settings.Quake = true;
  w.Tick();
  EXPECT_EQ(w.view.status[0], "Disconnect status: Disconnect all");
  EXPECT_FALSE(w.HasSession("A"));
  EXPECT_FALSE(w.HasSession("B"));
}

TEST(ProgramWatchInTick, SwitchedOffWhileForcingThenOnRestoresSavedStatus) {
  EnforceWorld w;
  w.settings.Quake = true;
  w.rules.Programs().Add("/OPT/GAME");
  w.rules.Status().SetWhoToKick(KickList);
  w.processes.Run(5, "/opt/game");
  w.Tick();
  w.settings.Quake = false;
  w.processes.StopAll();
  w.Tick();
  EXPECT_EQ(w.rules.WhoToKick(), KickAll);
  w.rules.Status().SetWhoToKick(KickNobody);
  w.settings.Quake = true;
  w.Tick();
  EXPECT_EQ(w.rules.WhoToKick(), KickList);
}

TEST(ProgramWatchInTick, NinetyFiveFamilyUsesSnapshotWalk) {
  EnforceWorld w(true);
  w.settings.Quake = true;
  w.rules.Programs().Add("/OPT/GAME");
  w.processes.Run(5, "/opt/game");
  w.Tick();
  EXPECT_EQ(w.processes.enumCalls, 0);
  EXPECT_EQ(w.rules.WhoToKick(), KickAll);
}

// ---- the real process list ----

class RunningCopy {
 public:
  explicit RunningCopy(const std::filesystem::path& exe, std::vector<std::string> args = {"60"},
                       const std::filesystem::path& folder = {}) {
    const std::string file = exe.string();
    args.insert(args.begin(), file);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    if (!folder.empty()) ::posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    if (::posix_spawn(&pid_, file.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    ::posix_spawn_file_actions_destroy(&actions);
  }
  ~RunningCopy() { Stop(); }
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

TEST(ProgramWatchOverProc, CopiedSleepForcesKickAllUntilItEnds) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "qm-watch-XXXXXX").string();
  const fs::path dir = ::mkdtemp(pattern.data());
  const fs::path exe = dir / "Watched-Sleep";
  fs::copy_file("/bin/sleep", exe);
  fs::permissions(exe, fs::perms::owner_all);

  ProcProcessList proc;
  EnforceWorld w;
  EnforcementRules rules(w.monitor, &proc);
  w.monitor.SetRules(&rules);
  w.settings.Quake = true;
  rules.Programs().Add(AsciiUpper(fs::canonical(exe).string()));
  rules.Status().SetWhoToKick(KickList);
  w.Connect("A");

  RunningCopy copy(exe);
  ASSERT_GT(copy.Pid(), 0);
  // The exec has happened once /proc/PID/exe names the copy.
  std::string seen;
  for (int i = 0; i < 200 && seen != fs::canonical(exe).string(); ++i) {
    proc.ExecutablePath(static_cast<std::uint32_t>(copy.Pid()), seen);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  w.Tick();
  EXPECT_TRUE(rules.Watcher().QuakeActive());
  EXPECT_EQ(rules.WhoToKick(), KickAll);
  EXPECT_FALSE(w.HasSession("A"));
  EXPECT_EQ(rules.Watcher().LastIdBufferSize() % ProgramWatcher::kBufferStep, 0u);

  copy.Stop();
  w.Tick();
  EXPECT_FALSE(rules.Watcher().QuakeActive());
  EXPECT_EQ(rules.WhoToKick(), KickList);
  EXPECT_EQ(w.view.status[0], "Disconnect status: Disconnect list");
  w.monitor.SetRules(nullptr);
  fs::remove_all(dir);
}

TEST(ProgramWatchOverProc, ListedLinkAndListedScriptMatchWhatRuns) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "qm-watch-XXXXXX").string();
  const fs::path dir = ::mkdtemp(pattern.data());
  const fs::path exe = dir / "real-sleep";
  fs::copy_file("/bin/sleep", exe);
  fs::permissions(exe, fs::perms::owner_all);
  fs::create_symlink(exe, dir / "Linked");
  const fs::path script = dir / "watched.sh";
  // The shell waits in the opening of a pipe nobody writes: no child left
  // behind, no time spent.
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  {
    std::ofstream out(script);
    out << "#!/bin/sh\nread line < '" << (dir / "pipe").string() << "'\n";
  }
  fs::permissions(script, fs::perms::owner_all);
  const fs::path idle = dir / "other.sh";
  fs::copy_file(script, idle);

  ProcProcessList proc;
  ProgramList programs;
  DisconnectStatus status;
  ProgramWatcher watcher(&proc, programs, status);
  auto runs = [&](const fs::path& listed, const fs::path& started,
                  std::vector<std::string> args = {"60"}) {
    programs.Clear();
    programs.Add(AsciiUpper(listed.string()));  // as the list keeps it
    RunningCopy copy(started, std::move(args), dir);
    bool found = false;
    for (int i = 0; i < 100 && !found; ++i) {
      watcher.QuakeNT();
      found = watcher.QuakeActive();
      if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    copy.Stop();
    watcher.QuakeNT();
    return found;
  };
  EXPECT_TRUE(runs(dir / "Linked", exe));
  EXPECT_TRUE(runs(script, script));
  // A script that runs /bin/sh is no reason to match every shell.
  EXPECT_FALSE(runs(script, idle));
  // Neither the arguments nor the working folder say what runs: a link
  // named like the shell's command leads to the script, which it never
  // opens.
  const std::string command = "read line < pipe";
  fs::create_symlink(script, dir / command);
  EXPECT_FALSE(runs(script, "/bin/sh", {"-c", command, "decoy"}));
  EXPECT_FALSE(runs(script, "/bin/sh", {"-c", command, script.string()}));
  fs::remove_all(dir);
}

// A listed program whose file is removed or replaced while it runs (an
// upgrade) is still the one running; a file truly named "... (deleted)"
// keeps its name.
TEST(ProgramWatchOverProc, ProgramStillMatchesAfterItsFileIsRemoved) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "qm-watch-XXXXXX").string();
  const fs::path dir = ::mkdtemp(pattern.data());
  ProcProcessList proc;
  ProgramList programs;
  DisconnectStatus status;
  ProgramWatcher watcher(&proc, programs, status);
  for (const char* name : {"delgame", "odd (deleted)"}) {
    SCOPED_TRACE(name);
    const fs::path exe = fs::canonical(dir) / name;
    fs::copy_file("/bin/sleep", exe);
    fs::permissions(exe, fs::perms::owner_all);
    programs.Clear();
    programs.Add(AsciiUpper(exe.string()));
    RunningCopy copy(exe);
    for (int i = 0; i < 100 && !watcher.QuakeActive(); ++i) {
      watcher.QuakeNT();
      if (!watcher.QuakeActive()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(watcher.QuakeActive());
    fs::remove(exe);
    watcher.QuakeNT();
    EXPECT_TRUE(watcher.QuakeActive());
    // Replaced by a new file of that name, as a package upgrade does.
    fs::copy_file("/bin/sleep", exe);
    watcher.QuakeNT();
    EXPECT_TRUE(watcher.QuakeActive());
    copy.Stop();
    watcher.QuakeNT();
    EXPECT_FALSE(watcher.QuakeActive());
  }
  fs::remove_all(dir);
}

TEST(ProcProcessList, ListsThisProcessWithItsExecutable) {
  ProcProcessList proc;
  std::vector<std::uint32_t> ids;
  ASSERT_TRUE(proc.ProcessIds(ids));
  const auto self = static_cast<std::uint32_t>(::getpid());
  EXPECT_NE(std::find(ids.begin(), ids.end(), self), ids.end());
  std::string path;
  ASSERT_TRUE(proc.ExecutablePath(self, path));
  EXPECT_EQ(path, std::filesystem::read_symlink("/proc/self/exe").string());
  EXPECT_FALSE(proc.ExecutablePath(0xFFFFFFF0u, path));
  // A buffer too small is cut off and filled to the byte.
  std::uint32_t one[1] = {0};
  std::uint32_t returned = 0;
  ASSERT_TRUE(proc.EnumProcesses(one, sizeof one, returned));
  EXPECT_EQ(returned, sizeof one);
}

}  // namespace
}  // namespace qm::test
