// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The console front end as a user runs it: the real program, its files,
// signals and a second start.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "app/ConsoleFrontEnd.h"
#include "app/ConsoleProgram.h"
#include "os/AtomicFile.h"
#include "os/ProcessRunner.h"
#include "platform/InMemoryServerBackend.h"
#include "platform/sim/SimulatedServerBackend.h"
#include "resolve/SessionListing.h"
#include "support/ScopedVariable.h"
#include "support/TempFolder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

mode_t CurrentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// One run of quillmoor98 --console with pipes to its standard streams.
class ConsoleRun {
 public:
  ConsoleRun(const std::vector<std::string>& extraArgs) {
    int in[2], out[2], err[2];
    EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
    std::vector<std::string> argv = {std::string(QM_BIN_DIR) + "/quillmoor98", "--console"};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    std::string error;
    pid_ = ProcessRunner::Spawn(argv, in[0], out[1], err[1], error);
    EXPECT_GT(pid_, 0) << error;
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    in_ = in[1];
    out_ = out[0];
    err_ = err[0];
  }
  ~ConsoleRun() {
    if (in_ >= 0) ::close(in_);
    if (out_ >= 0) ::close(out_);
    ::close(err_);
    if (pid_ > 0 && !reaped_) ProcessRunner::KillAndReap(pid_);
  }
  void Line() { ASSERT_EQ(::write(in_, "\n", 1), 1); }
  void CloseInput() {
    ::close(in_);
    in_ = -1;
  }
  // A reaped run's pid may already be another process's.
  void Signal(int sig) {
    if (!reaped_) ::kill(pid_, sig);
  }
  // The reader of standard output goes away (| head, a dropped session).
  void CloseOutput() {
    ::close(out_);
    out_ = -1;
  }
  // Reads standard output until text has appeared (or 15 s have passed).
  bool WaitFor(const std::string& text) { return Collect(out_, outText_, text); }
  bool WaitForError(const std::string& text) { return Collect(err_, errText_, text); }
  // The exit code, 128 + the signal that ended the run, or -1.
  int Wait() {
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (!reaped_) {
      const pid_t got = ::waitpid(pid_, &status_, WNOHANG);
      // An error is no exit: it would read as a clean one.
      if (got < 0) return -1;
      if (got == pid_) {
        reaped_ = true;
        break;
      }
      Drain();
      if (std::chrono::steady_clock::now() > deadline) return -1;
      std::this_thread::sleep_for(20ms);
    }
    Drain();
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
  }
  const std::string& Out() const { return outText_; }
  const std::string& Err() const { return errText_; }
  pid_t Pid() const { return pid_; }

 private:
  void Drain() {
    if (out_ >= 0) ReadSome(out_, outText_, 0);
    ReadSome(err_, errText_, 0);
  }
  static bool ReadSome(int fd, std::string& into, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    char buf[4096];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    into.append(buf, static_cast<std::size_t>(n));
    return true;
  }
  bool Collect(int fd, std::string& into, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (into.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      if (!ReadSome(fd, into, 100)) {
        // A run that ended by itself keeps its status for Wait().
        if (!reaped_ && ::waitpid(pid_, &status_, WNOHANG) == pid_) {
          reaped_ = true;
          Drain();
          return into.find(text) != std::string::npos;
        }
      }
    }
    return true;
  }

  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
  bool reaped_ = false;
  int status_ = 0;
  std::string outText_, errText_;
};

class ConsoleProgramTest : public ::testing::Test {
 protected:
  ConsoleProgramTest() {
    ::setenv("QUILLMOOR98_SERVER", ("sim:" + state_).c_str(), 1);
    ::setenv("QUILLMOOR98_SYSCONFDIR", dir_.c_str(), 1);
    ::setenv("QUILLMOOR98_PROGRAM_DIR", dir_.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);  // the instance lock lives here
    tables_.shares = {{"DOCS", "/srv/docs", 0}};
    WriteState();
  }
  void Connect(const std::string& client) {
    tables_.connections.push_back({"DOCS", client, "user-" + client});
    tables_.sessions.push_back({client, "user-" + client, 0, "127.0.0.1"});
  }
  void WriteState() {
    std::string error;
    ASSERT_TRUE(
        WriteFileAtomically(state_, SimulatedServerBackend::Serialize(tables_, false, {}), error));
  }
  std::uintmax_t TreeSize() {
    std::error_code ec;
    return fs::file_size(dir_ + "/Tree.dat", ec);
  }

  test::TempFolder folder_{"qm-console"};
  const std::string dir_ = folder_.Path(), state_ = folder_.File("state.json");
  ServerTables tables_;
};

TEST_F(ConsoleProgramTest, StepModeFollowsTheStateBetweenTicks) {
  Connect("PC1");
  WriteState();
  ConsoleRun run({"--step"});
  ASSERT_TRUE(run.WaitFor("tick 1 users 1 files 0\n")) << run.Out() << run.Err();
  EXPECT_NE(run.Out().find("connected  user PC1  (Program started)"), std::string::npos);
  Connect("PC2");
  tables_.files.push_back({"DOCS", "PC2", "user-PC2", "/srv/docs/x.txt"});
  WriteState();
  run.Line();
  ASSERT_TRUE(run.WaitFor("tick 2 users 2 files 1\n")) << run.Out();
  EXPECT_NE(run.Out().find("connected  user PC2  (Logged on)"), std::string::npos);
  tables_ = {};
  tables_.shares = {{"DOCS", "/srv/docs", 0}};
  WriteState();
  run.Line();
  ASSERT_TRUE(run.WaitFor("tick 3 users 0 files 0\n")) << run.Out();
  EXPECT_NE(run.Out().find("ended      user PC1  (Logged off)"), std::string::npos);
  run.CloseInput();  // end of input: a normal shutdown
  EXPECT_EQ(run.Wait(), 0);
  EXPECT_EQ(TreeSize(), 5u * 392u);  // two users, two shares, one file
  EXPECT_TRUE(fs::exists(dir_ + "/Quillmoor98.ini"));
}

TEST_F(ConsoleProgramTest, ViewKeysOfTheDesktopSurviveAConsoleRun) {
  {
    std::ofstream ini(dir_ + "/Quillmoor98.ini");
    ini << "[View]\nToolbar=0\nStatusbar=0\n";
  }
  ConsoleRun run({"--step"});
  ASSERT_TRUE(run.WaitFor("tick 1 ")) << run.Out() << run.Err();
  run.CloseInput();
  ASSERT_EQ(run.Wait(), 0);
  std::ifstream ini(dir_ + "/Quillmoor98.ini");
  const std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Toolbar=0"), std::string::npos) << text;
  EXPECT_NE(text.find("Statusbar=0"), std::string::npos) << text;
}

TEST_F(ConsoleProgramTest, SecondInstanceIsRefusedUntilTheFirstDies) {
  ConsoleRun first({"--step"});
  ASSERT_TRUE(first.WaitFor("tick 1 ")) << first.Err();
  {
    ConsoleRun second({"--step"});
    EXPECT_EQ(second.Wait(), 0);
    EXPECT_NE(second.Err().find("Instance already running!"), std::string::npos) << second.Err();
  }
  ::setenv("XDG_RUNTIME_DIR", "/nonexistent", 1);  // another session, the same data folder
  ConsoleRun other({"--step"});
  ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  EXPECT_EQ(other.Wait(), 0);
  EXPECT_NE(other.Err().find("Instance already running!"), std::string::npos) << other.Err();
  first.Signal(SIGKILL);
  first.Wait();
  ConsoleRun third({"--step"});  // the kernel released the lock with the process
  EXPECT_TRUE(third.WaitFor("tick 1 ")) << third.Err();
}

TEST_F(ConsoleProgramTest, TerminationSignalStoresTheHistory) {
  Connect("PC1");
  WriteState();
  for (int sig : {SIGTERM, SIGINT}) {
    fs::remove(dir_ + "/Tree.dat");
    ConsoleRun run({});
    ASSERT_TRUE(run.WaitFor("connected  share PC1 > DOCS")) << run.Err();
    run.Signal(sig);
    // The other ending signal, during the shutdown: still a clean end.
    run.Signal(sig == SIGTERM ? SIGINT : SIGTERM);
    EXPECT_EQ(run.Wait(), 0);
    EXPECT_NE(run.Out().find("ended      user PC1  (Program exitted)"), std::string::npos);
    EXPECT_EQ(TreeSize(), 2u * 392u) << "signal " << sig << "\n" << run.Out() << run.Err();
  }
}

TEST_F(ConsoleProgramTest, AHistoryThatCannotBeStoredAtTheEndIsAFailedEnd) {
  const std::string data = dir_ + "/data";
  fs::create_directory(data);
  test::ScopedVariable programDir("QUILLMOOR98_PROGRAM_DIR", data);
  Connect("PC1");
  WriteState();
  ConsoleRun run({});
  ASSERT_TRUE(run.WaitFor("connected  share PC1 > DOCS")) << run.Err();
  fs::rename(data, dir_ + "/gone");
  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(), 1);
  EXPECT_NE(run.Err().find(data + "/Tree.dat"), std::string::npos) << run.Err();
}

TEST_F(ConsoleProgramTest, StopWhileASambaToolHangsEndsAtOnceWithHistoryAndSettingsStored) {
  // Stand-ins for Samba: a process named smbd with its pid file, and
  // tools reached through the elevation words; smbstatus hangs once the
  // flag file exists.
  fs::create_directories(dir_ + "/pid");
  fs::copy_file("/bin/sleep", dir_ + "/smbd");
  std::string error;
  const pid_t smbd = ProcessRunner::Spawn({dir_ + "/smbd", "60"}, -1, -1, -1, error);
  ASSERT_GT(smbd, 0) << error;
  auto script = [&](const std::string& name, const std::string& body) {
    ASSERT_TRUE(WriteFileAtomically(dir_ + "/" + name, "#!/bin/sh\n" + body + "\n", error));
    ::chmod((dir_ + "/" + name).c_str(), 0755);
  };
  ASSERT_TRUE(WriteFileAtomically(dir_ + "/pid/smbd.pid", std::to_string(smbd) + "\n", error));
  ASSERT_TRUE(WriteFileAtomically(dir_ + "/smb.conf", "[DOCS]\n", error));
  script("testparm", "printf '[global]\\n\\tpid directory = " + dir_ +
                         "/pid\\n[DOCS]\\n\\tpath = /srv/docs\\n'");
  script("smbstatus", R"(echo '{"sessions": {"1": {"session_id": "1", "server_id": {"pid": "7"},
    "username": "u", "remote_machine": "PC1"}}, "tcons": {"2": {"service": "DOCS",
    "session_id": "1", "server_id": {"pid": "7"}, "machine": "PC1"}}, "open_files": {}}')");
  script("elevate", "tool=$(basename \"$1\"); shift\n[ $tool = smbstatus ] && [ -e " + dir_ +
                        "/hang ] && exec sleep 60\nexec " + dir_ + "/$tool \"$@\"");
  ::setenv("QUILLMOOR98_SERVER", "samba", 1);
  ::setenv("QUILLMOOR98_SMB_CONF", (dir_ + "/smb.conf").c_str(), 1);
  ::setenv("QUILLMOOR98_SAMBA_ELEVATE", (dir_ + "/elevate").c_str(), 1);
  ConsoleRun run({"--step"});
  ::unsetenv("QUILLMOOR98_SMB_CONF");
  ::unsetenv("QUILLMOOR98_SAMBA_ELEVATE");
  ASSERT_TRUE(run.WaitFor("tick 1 users 1 files 0\n")) << run.Out() << run.Err();
  ASSERT_TRUE(WriteFileAtomically(dir_ + "/hang", "", error));
  run.Line();
  std::this_thread::sleep_for(300ms);  // the step's reading hangs in smbstatus
  const auto stop = std::chrono::steady_clock::now();
  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(), 0);
  // Far below the tool's time limit: the stop cancelled the tool.
  EXPECT_LT(std::chrono::steady_clock::now() - stop, 4s);
  ProcessRunner::KillAndReap(smbd);
  EXPECT_EQ(run.Out().find("tick 2"), std::string::npos);
  EXPECT_NE(run.Out().find("ended      user PC1  (Program exitted)"), std::string::npos);
  EXPECT_EQ(TreeSize(), 2u * 392u);
  EXPECT_TRUE(fs::exists(dir_ + "/Quillmoor98.ini"));
}

TEST_F(ConsoleProgramTest, FatalServerFailureStillStoresTheHistory) {
  Connect("PC1");
  WriteState();
  ConsoleRun run({"--step"});
  ASSERT_TRUE(run.WaitFor("tick 1 ")) << run.Err();
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(
      state_, SimulatedServerBackend::Serialize(tables_, false, {{"NetShareEnum", 53}}), error));
  run.Line();
  EXPECT_EQ(run.Wait(), 1);  // a failure, for the service manager
  EXPECT_NE(run.Err().find("error: Debug: SharesInit -53"), std::string::npos) << run.Err();
  EXPECT_NE(run.Out().find("ended      user PC1  (Program exitted)"), std::string::npos);
  EXPECT_EQ(TreeSize(), 2u * 392u);
}

// Changes on the disk are read (at the next tick, or at once on SIGHUP).
TEST_F(ConsoleProgramTest, FilesEditedWhileRunningAreReadAndKept) {
  Connect("PC1");
  WriteState();
  const std::string ini = dir_ + "/Quillmoor98.ini", edited = "; mine\r\n[Kick]\r\nWhoToKick=2\r\n";
  ConsoleRun run({"--step"});
  ASSERT_TRUE(run.WaitFor("tick 1 users 1 ")) << run.Err();
  test::WriteText(dir_ + "/KickList.dat", "PC9\r\n10.0.0.9\r\n");
  test::WriteText(ini, edited);
  run.Signal(SIGHUP);  // read at once, and the program goes on
  run.Line();
  run.Line();  // "disconnect everybody" took effect: PC1 went
  ASSERT_TRUE(run.WaitFor("tick 3 users 0 ")) << run.Out() << run.Err();
  test::WriteText(dir_ + "/ProgramList.dat", "/usr/bin/backup\r\n");  // read at the end
  run.CloseInput();
  EXPECT_EQ(run.Wait(), 0);
  EXPECT_EQ(test::ReadText(dir_ + "/KickList.dat") + test::ReadText(dir_ + "/ProgramList.dat"),
            "PC9\r\n10.0.0.9\r\n/usr/bin/backup\r\n");
  EXPECT_TRUE(test::ReadText(ini).starts_with(edited));
}

// What the control socket changed is in the files before it answers: an
// edit of other keys and entries on the disk keeps it, and so does a kill.
TEST_F(ConsoleProgramTest, ControlChangesAreStoredAtOnceAndSurviveDiskEditsAndAKill) {
  const std::string socket = dir_ + "/control", ini = dir_ + "/Quillmoor98.ini",
                    list = dir_ + "/KickList.dat", both = "X\r\n10.0.0.9\r\nY\r\n10.0.0.8\r\n";
  auto ctl = [&](std::vector<std::string> args) {
    args.insert(args.begin(),
                {std::string(QM_BIN_DIR) + "/quillmoor98", "ctl", "--socket", socket});
    const ProcessResult r = ProcessRunner::Run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
  };
  auto run = std::make_unique<ConsoleRun>(std::vector<std::string>{"--step", "--control", socket});
  ASSERT_TRUE(run->WaitFor("tick 1 ")) << run->Err();
  EXPECT_EQ(ctl({"list", "add", "X", "10.0.0.9"}) + ctl({"set", "Count", "7"}) +
                ctl({"kick-status", "list"}),
            "Added X (10.0.0.9) to the Disconnect List\n7\nlist\n");
  EXPECT_EQ(test::ReadText(list), "X\r\n10.0.0.9\r\n");
  std::string text = test::ReadText(ini);
  ASSERT_NE(text.find("Idle=10"), std::string::npos) << text;
  text.replace(text.find("Idle=10"), 7, "Idle=3");
  test::WriteText(ini, text);
  test::WriteText(list, both);
  run->Line();
  ASSERT_TRUE(run->WaitFor("tick 2 ")) << run->Err();
  ::kill(run->Pid(), SIGKILL);
  EXPECT_EQ(run->Wait(), 128 + SIGKILL);
  EXPECT_EQ(run->Err().find("dropped"), std::string::npos) << run->Err();

  run = std::make_unique<ConsoleRun>(std::vector<std::string>{"--step", "--control", socket});
  ASSERT_TRUE(run->WaitFor("tick 1 ")) << run->Err();
  EXPECT_EQ(ctl({"get", "Count"}) + ctl({"get", "Idle"}) + ctl({"kick-status"}), "7\n3\nlist\n");
  EXPECT_EQ(test::ReadText(list), both);
}

TEST_F(ConsoleProgramTest, AMissingStateEndsAtOnceWithAReason) {
  fs::remove(state_);
  ConsoleRun run({"--step"});
  EXPECT_EQ(run.Wait(), 1);
  EXPECT_NE(run.Err().find(state_), std::string::npos) << run.Err();
  EXPECT_FALSE(fs::exists(dir_ + "/Quillmoor98.ini"));  // nothing written
}

TEST_F(ConsoleProgramTest, UnusableMetricsAddressEndsBeforeAnythingIsWritten) {
  {
    ConsoleRun run({"--metrics", "localhost:80"});
    EXPECT_EQ(run.Wait(), 1);
    EXPECT_NE(run.Err().find("not an IPv4 address"), std::string::npos) << run.Err();
  }
  // A port already taken: a clear error, no settings or history written.
  const int taken = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(taken, 1), 0);
  ::getsockname(taken, reinterpret_cast<sockaddr*>(&a), &len);
  const std::string port = std::to_string(ntohs(a.sin_port));
  ConsoleRun run({"--step", "--metrics", port});
  EXPECT_EQ(run.Wait(), 1);
  ::close(taken);
  EXPECT_NE(run.Err().find("cannot listen on 127.0.0.1:" + port), std::string::npos) << run.Err();
  EXPECT_FALSE(fs::exists(dir_ + "/Quillmoor98.ini"));
  EXPECT_FALSE(fs::exists(dir_ + "/Tree.dat"));
}

TEST_F(ConsoleProgramTest, DamagedHistoryIsReportedAndKept) {
  {
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(dir_ + "/Tree.dat", std::string(800, '\x01'), error));
  }
  ConsoleRun run({"--step"});
  ASSERT_TRUE(run.WaitFor("tick 1 ")) << run.Err();
  run.CloseInput();
  EXPECT_EQ(run.Wait(), 0);
  EXPECT_NE(
      run.Err().find("error: Something is wrong with the input file, new file has been created"),
      std::string::npos)
      << run.Err();
  EXPECT_TRUE(fs::exists(dir_ + "/Tree.dat.damaged"));
  EXPECT_EQ(TreeSize(), 0u);
}

TEST_F(ConsoleProgramTest, BrokenStandardOutputCostsNeitherHistoryNorSettings) {
  Connect("PC1");
  WriteState();
  {
    ConsoleRun run({"--step"});
    ASSERT_TRUE(run.WaitFor("tick 1 ")) << run.Err();
    run.CloseOutput();
    run.Line();  // the tick's line meets the broken pipe
    run.CloseInput();
    EXPECT_EQ(run.Wait(), 0) << run.Err();
    EXPECT_EQ(TreeSize(), 2u * 392u);
    EXPECT_TRUE(fs::exists(dir_ + "/Quillmoor98.ini"));
  }
  fs::remove(dir_ + "/Tree.dat");
  ConsoleRun run({});
  ASSERT_TRUE(run.WaitFor("connected  share PC1 > DOCS")) << run.Err();
  run.CloseOutput();
  run.Signal(SIGTERM);  // the shutdown sweep writes its lines into the broken pipe
  EXPECT_EQ(run.Wait(), 0) << run.Err();
  EXPECT_EQ(TreeSize(), 2u * 392u);
}

TEST_F(ConsoleProgramTest, HostileClientNamesAreShownEscapedAndKeptApart) {
  Connect("PC");
  Connect(std::string("PC\0hidden", 9));
  Connect("PC\u202Egnp.exe");
  WriteState();
  ConsoleRun run({"--step"});
  ASSERT_TRUE(run.WaitFor("tick 1 users 3 ")) << run.Out() << run.Err();
  EXPECT_NE(run.Out().find("connected  user PC\\\\x00hidden  ("), std::string::npos) << run.Out();
  EXPECT_NE(run.Out().find("connected  user PC\\u202Egnp.exe  ("), std::string::npos);
  EXPECT_EQ(run.Out().find("\u202E"), std::string::npos);
  run.CloseInput();
  EXPECT_EQ(run.Wait(), 0);
}

// As root in a private folder: what a member of the group could plant in
// the shared data and settings folders.
TEST_F(ConsoleProgramTest, PlantedLinksAndSpecialFilesAreRefusedAndLeftAsTheyAre) {
  const std::string secret = dir_ + "/shadow";
  { std::ofstream(secret) << "root:$6$secret:19000::::::\n"; }
  ::chmod(secret.c_str(), 04755);
  for (const char* name : {"/KickList.dat", "/ProgramList.dat"}) {
    fs::create_symlink(secret, dir_ + name);
  }
  fs::create_symlink("/dev/zero", dir_ + "/Quillmoor98.ini");
  ASSERT_EQ(::mkfifo((dir_ + "/Tree.dat").c_str(), 0600), 0);
  const std::string leftover = dir_ + "/.Tree.dat.quillmoor98-save.Ab12Cd";  // a save killed midway
  std::ofstream(leftover) << std::string(392, 'x');
  fs::last_write_time(leftover, fs::file_time_type::clock::now() - 10min);

  ConsoleRun run({"--step"});
  ASSERT_TRUE(run.WaitFor("tick 1 ")) << run.Err();
  run.CloseInput();
  EXPECT_EQ(run.Wait(), 0);
  for (const char* name : {"/KickList.dat", "/ProgramList.dat", "/Quillmoor98.ini"}) {
    EXPECT_NE(run.Err().find(dir_ + name + ": it is a symbolic link"), std::string::npos)
        << name << "\n"
        << run.Err();
    EXPECT_TRUE(fs::is_symlink(dir_ + name)) << name;
  }
  EXPECT_NE(run.Err().find(dir_ + "/Tree.dat: it is not a regular file"), std::string::npos);
  EXPECT_NE(run.Err().find("error: Unable to write to Quillmoor98.ini: "), std::string::npos);
  EXPECT_EQ(fs::status(secret).permissions(), fs::perms(04755));
  // The history replaced the FIFO with a file of ours.
  struct stat st {};
  ASSERT_EQ(::lstat((dir_ + "/Tree.dat").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0600u & ~CurrentUmask());
  EXPECT_FALSE(fs::exists(leftover));
}

// One version everywhere: the project's, which the packages carry.
TEST(ConsoleVersionTest, IsTheProjectsVersion) {
  const ProcessResult r = ProcessRunner::Run({QM_BIN_DIR "/quillmoor98", "--version"});
  EXPECT_EQ(r.out, "Quillmoor 98 " QM_PROJECT_VERSION "\n");
}

// A list file the running user cannot read (a 0600 file of root's met by a
// member's program) is reported and survives the run untouched.
TEST_F(ConsoleProgramTest, ListThatCannotBeReadIsNotWrittenBackEmpty) {
  if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0) {
    GTEST_SKIP() << "needs root and setpriv to run the program as another user";
  }
  ::chmod(dir_.c_str(), 0777);
  ::chmod(state_.c_str(), 0644);
  const std::string list = dir_ + "/KickList.dat";
  std::ofstream(list) << "PC9\r\n10.0.0.9\r\n";
  ::chmod(list.c_str(), 0600);
  // nobody cannot keep a lock in root's folder: give it one of its own.
  const std::string runtime = dir_ + "/run";
  fs::create_directory(runtime);
  ASSERT_EQ(::chown(runtime.c_str(), 65534, 65534), 0);
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  std::string error;
  const std::vector<std::string> argv = {"/usr/bin/setpriv",
                                         "--reuid=65534",
                                         "--regid=65534",
                                         "--clear-groups",
                                         std::string(QM_BIN_DIR) + "/quillmoor98",
                                         "--console",
                                         "--step"};
  const ProcessResult result = [&] {
    ProcessRunner::Options options;
    options.input = "\n";
    options.timeout = 15s;
    return ProcessRunner::Run(argv, options);
  }();
  ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  EXPECT_TRUE(result.Succeeded()) << result.err << result.error;
  EXPECT_NE(result.err.find(list + ": Permission denied"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(list + ": it could not be read at start-up and is left as it is"),
            std::string::npos)
      << result.err;
  struct stat st {};
  ASSERT_EQ(::stat(list.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  std::string kept;
  ASSERT_TRUE(ReadWholeFile(list, kept, error)) << error;
  EXPECT_EQ(kept, "PC9\r\n10.0.0.9\r\n");
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {
// A backend whose reading throws once, at the tick after the first.
class FaultyBackend final : public InMemoryServerBackend {
 protected:
  NetStatus InjectedStatus(ServerCall call) override {
    if (call == ServerCall::NetShareEnum && ++shareCalls_ == 3) {
      throw std::runtime_error("simulated fault");
    }
    return InMemoryServerBackend::InjectedStatus(call);
  }

 private:
  int shareCalls_ = 0;
};

TEST(ConsoleTickTest, TickThatThrowsIsReportedAndTheTicksGoOn) {
  test::TempFolder folder("qm-tick");
  const std::string& dir = folder.Path();
  auto backend = std::make_unique<FaultyBackend>();
  backend->tables.shares = {{"DOCS", "/srv/docs", 0}};
  backend->tables.connections = {{"DOCS", "PC1", "alice"}};
  backend->tables.sessions = {{"PC1", "alice", 0, "127.0.0.1"}};
  ApplicationConfig config;
  config.programDirectory = dir;
  config.settingsPath = dir + "/Quillmoor98.ini";
  config.backend = std::move(backend);
  config.lookups = false;
  config.sleep = [](int) {};
  int input[2];
  ASSERT_EQ(::pipe(input), 0);
  ASSERT_EQ(::write(input[1], "\n\n", 2), 2);
  ::close(input[1]);
  std::ostringstream out, err;
  ConsoleOptions options;
  options.step = true;
  EXPECT_EQ(RunConsole(options, std::move(config), input[0], out, err), 0);
  ::close(input[0]);
  EXPECT_NE(err.str().find("a refresh failed: simulated fault"), std::string::npos) << err.str();
  EXPECT_NE(out.str().find("tick 3 users 1 files 0"), std::string::npos) << out.str();
  std::error_code ec;
  EXPECT_EQ(fs::file_size(dir + "/Tree.dat", ec), 2u * 392u);
}

// Its lookup thread's session enumeration ends the input and is slow.
std::atomic<bool> unloaded{false}, usedAfterUnload{false};
class SlowSessions95 final : public InMemoryServerBackend {
 public:
  explicit SlowSessions95(int endInput) : InMemoryServerBackend(true), endInput_(endInput) {}
  void Unload() override { unloaded = true; }
  NetStatus NetSessionEnum50(char* b, std::uint32_t size, std::uint16_t& read, std::uint16_t& total,
                             std::uint32_t& needed) override {
    const int fd = std::this_thread::get_id() == ui_ ? -1 : endInput_.exchange(-1);
    if (fd >= 0 && ::close(fd) == 0) std::this_thread::sleep_for(300ms);
    const NetStatus s = InMemoryServerBackend::NetSessionEnum50(b, size, read, total, needed);
    usedAfterUnload = usedAfterUnload || unloaded;
    return s;
  }
  std::atomic<int> endInput_;
  std::thread::id ui_ = std::this_thread::get_id();
};

TEST(ConsoleShutdownTest, LookupsEndBeforeTheBindingIsUnloaded) {
  test::TempFolder dir;
  int input[2];
  ASSERT_EQ(::pipe(input), 0);
  auto backend = std::make_unique<SlowSessions95>(input[1]);
  backend->tables = {{{"DOCS", "/srv/docs", 0}}, {{"DOCS", "PC1", ""}}, {}, {{"PC1", "a", 1, ""}}};
  ApplicationConfig config;
  config.programDirectory = dir.Path();
  config.settingsPath = dir.File("Quillmoor98.ini");
  config.backend = std::move(backend);
  config.nbtstatPath = dir.File("no-such-tool");
  config.sleep = [](int) {};
  std::ostringstream out, err;
  ConsoleOptions options;
  options.step = true;
  EXPECT_EQ(RunConsole(options, std::move(config), input[0], out, err), 0);
  ::close(input[0]);
  EXPECT_TRUE(unloaded);
  EXPECT_FALSE(usedAfterUnload);
}

// Its lookup thread finds no account, so it looks again after a pause; at
// the second look (the first found the address) the process is asked to
// end, and the closing sweep that stops the lookup publishes its result.
class EndingLookup95 final : public InMemoryServerBackend {
 public:
  EndingLookup95() : InMemoryServerBackend(true) {}
  NetStatus NetSessionEnum50(char* b, std::uint32_t size, std::uint16_t& read, std::uint16_t& total,
                             std::uint32_t& needed) override {
    const NetStatus s = InMemoryServerBackend::NetSessionEnum50(b, size, read, total, needed);
    if (std::this_thread::get_id() == ui_) return s;
    if (++looks_ == 2) ::kill(::getpid(), SIGTERM);
    read = total = 0;
    return s;
  }
  std::atomic<int> looks_{0};
  std::thread::id ui_ = std::this_thread::get_id();
};

TEST(ConsoleShutdownTest, ALookupThatFinishesDuringTheShutdownReachesOnlyLiveSinks) {
  test::TempFolder dir;
  int input[2];
  ASSERT_EQ(::pipe(input), 0);
  auto backend = std::make_unique<EndingLookup95>();
  backend->tables = {{{"DOCS", "/srv/docs", 0}}, {{"DOCS", "PC1", ""}}, {}, {{"PC1", "a", 1, ""}}};
  // The name table tool lists the client's address.
  using Remote = SessionListing::Remote;
  const std::vector<ServerTables::Session> listed = {{"PC1", "a", 1, "127.0.0.1"}};
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(dir.File("listing"),
                                  SessionListing::Format(listed, Remote::Names, "SERVER") + "\f\n" +
                                      SessionListing::Format(listed, Remote::Addresses, "SERVER"),
                                  error));
  ASSERT_TRUE(WriteFileAtomically(dir.File("nbtstat"),
                                  "#!/bin/sh\ncat " + dir.File("listing") + "\n", error));
  ::chmod(dir.File("nbtstat").c_str(), 0755);
  ApplicationConfig config;
  config.programDirectory = dir.Path();
  config.settingsPath = dir.File("Quillmoor98.ini");
  config.backend = std::move(backend);
  config.nbtstatPath = dir.File("nbtstat");
  config.sleep = [](int) {};
  std::ostringstream out, err;
  ConsoleOptions options;
  options.step = true;
  options.control = dir.File("control");
  EXPECT_EQ(RunConsole(options, std::move(config), input[0], out, err), 0) << err.str();
  ::close(input[0]);
  ::close(input[1]);  // the lookup ended with the program: its finding is still told
  EXPECT_NE(out.str().find("found      user PC1  (address 127.0.0.1"), std::string::npos)
      << out.str();
}

TEST(ConsolePrintableTest, ControlCharactersAndStrayBytesAreEscaped) {
  EXPECT_EQ(ConsoleFrontEnd::Printable("PC1"), "PC1");
  EXPECT_EQ(ConsoleFrontEnd::Printable("a\nb\x1b[2J"), "a\\x0Ab\\x1B[2J");
  EXPECT_EQ(ConsoleFrontEnd::Printable("Zoë \xff"), "Zoë \\xFF");
  EXPECT_EQ(ConsoleFrontEnd::Printable("\xc2\x9b"
                                       "x\\"),
            "\\xC2\\x9Bx\\\\");  // C1 control
}
}  // namespace
}  // namespace qm
