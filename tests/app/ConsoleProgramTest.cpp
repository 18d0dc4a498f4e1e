// The console front end as a user runs it: the real program, its files,
// signals and a second start.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "app/ConsoleFrontEnd.h"
#include "platform/AtomicFile.h"
#include "platform/ProcessRunner.h"
#include "platform/sim/SimulatedServerBackend.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

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
    ::close(out_);
    ::close(err_);
    if (pid_ > 0 && !reaped_) ProcessRunner::KillAndReap(pid_);
  }
  void Line() { ASSERT_EQ(::write(in_, "\n", 1), 1); }
  void CloseInput() {
    ::close(in_);
    in_ = -1;
  }
  void Signal(int sig) { ::kill(pid_, sig); }
  // Reads standard output until text has appeared (or 15 s have passed).
  bool WaitFor(const std::string& text) { return Collect(out_, outText_, text); }
  bool WaitForError(const std::string& text) { return Collect(err_, errText_, text); }
  int Wait() {
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      Drain();
      if (std::chrono::steady_clock::now() > deadline) return -1;
      std::this_thread::sleep_for(20ms);
    }
    reaped_ = true;
    Drain();
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  const std::string& Out() const { return outText_; }
  const std::string& Err() const { return errText_; }
  pid_t Pid() const { return pid_; }

 private:
  void Drain() {
    ReadSome(out_, outText_, 0);
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
        int status;
        if (!reaped_ && ::waitpid(pid_, &status, WNOHANG) == pid_) {
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
  std::string outText_, errText_;
};

class ConsoleProgramTest : public ::testing::Test {
 protected:
  ConsoleProgramTest() {
    char dir[] = "/tmp/qm-console-XXXXXX";
    dir_ = ::mkdtemp(dir);
    state_ = dir_ + "/state.json";
    ::setenv("QUILLMOOR98_SERVER", ("sim:" + state_).c_str(), 1);
    ::setenv("QUILLMOOR98_SYSCONFDIR", dir_.c_str(), 1);
    ::setenv("QUILLMOOR98_PROGRAM_DIR", dir_.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);  // the instance lock lives here
    tables_.shares = {{"DOCS", "/srv/docs", 0}};
    WriteState();
  }
  ~ConsoleProgramTest() override { fs::remove_all(dir_); }

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

  std::string dir_, state_;
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
  first.Signal(SIGKILL);
  first.Wait();
  ConsoleRun third({"--step"});  // the kernel released the lock with the process
  EXPECT_TRUE(third.WaitFor("tick 1 ")) << third.Err();
}

TEST_F(ConsoleProgramTest, TerminationSignalStoresTheHistory) {
  Connect("PC1");
  WriteState();
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
    fs::remove(dir_ + "/Tree.dat");
    ConsoleRun run({});
    ASSERT_TRUE(run.WaitFor("connected  share PC1 > DOCS")) << run.Err();
    run.Signal(sig);
    EXPECT_EQ(run.Wait(), 0);
    EXPECT_NE(run.Out().find("ended      user PC1  (Program exitted)"), std::string::npos);
    EXPECT_EQ(TreeSize(), 2u * 392u) << "signal " << sig;
  }
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
  EXPECT_EQ(run.Wait(), 0);
  EXPECT_NE(run.Err().find("error: Debug: SharesInit -53"), std::string::npos) << run.Err();
  EXPECT_EQ(TreeSize(), 2u * 392u);
}

TEST_F(ConsoleProgramTest, AMissingStateEndsAtOnceWithAReason) {
  fs::remove(state_);
  ConsoleRun run({"--step"});
  EXPECT_EQ(run.Wait(), 0);
  EXPECT_NE(run.Err().find(state_), std::string::npos) << run.Err();
  EXPECT_FALSE(fs::exists(dir_ + "/Quillmoor98.ini"));  // nothing written
}

TEST_F(ConsoleProgramTest, UnusableMetricsAddressEndsBeforeAnythingIsWritten) {
  {
    ConsoleRun run({"--metrics", "localhost:80"});
    EXPECT_EQ(run.Wait(), 2);
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

}  // namespace
}  // namespace qm

namespace qm {
namespace {
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
