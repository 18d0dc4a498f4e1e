#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "resolve/ResolveTestSupport.h"
#include "resolve/RunAndWait.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using test::Exists;
using test::ReadFileText;
using test::ScratchFolder;
using test::WriteFileText;

class RunAndWaitTest : public ::testing::Test {
 protected:
  ScratchFolder folder;
  std::string out;
};

TEST_F(RunAndWaitTest, CollectsStandardOutputAndGivesTheExitCode) {
  out = "an earlier, longer content\n";
  EXPECT_EQ(RunAndWait({"/bin/echo", "hello", "world"}, out, 10s), 0);
  EXPECT_EQ(out, "hello world\n");
  EXPECT_EQ(RunAndWait({"/bin/false"}, out, 10s), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(RunAndWait({"/bin/sh", "-c", "exit 7"}, out, 10s), 7);
  // More than a pipe holds at once.
  EXPECT_EQ(RunAndWait({"/usr/bin/head", "-c", "1000000", "/dev/zero"}, out, 10s), 0);
  EXPECT_EQ(out.size(), 1000000u);
}

TEST_F(RunAndWaitTest, ProgramThatCannotStartGivesMinusOne) {
  EXPECT_EQ(RunAndWait({folder.File("no-such-program")}, out, 10s), -1);
  EXPECT_EQ(RunAndWait({}, out, 10s), -1);
  EXPECT_EQ(RunAndWait({"echo", "x"}, out, 10s), -1);  // no PATH search
}

TEST_F(RunAndWaitTest, ArgumentsReachTheProgramAsTheyAre) {
  EXPECT_EQ(RunAndWait({"/bin/echo", "$(touch pwned)", ">", "x"}, out, 10s), 0);
  EXPECT_EQ(out, "$(touch pwned) > x\n");
  for (const char* name : {"pwned", "x"}) EXPECT_FALSE(Exists(name)) << name;
}

TEST_F(RunAndWaitTest, NoDescriptorIsInherited) {
  const int fd = ::open(folder.File("held").c_str(), O_WRONLY | O_CREAT, 0600);  // no O_CLOEXEC
  ASSERT_GE(fd, 3);
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  EXPECT_EQ(RunAndWait({"/usr/bin/test", "-e", path}, out, 10s), 1);
  EXPECT_EQ(RunAndWait({"/usr/bin/test", "-e", "/proc/self/fd/1"}, out, 10s), 0);
  ::close(fd);
}

// True once the process has ended (gone, or a zombie waiting for its reaper).
bool Ended(pid_t pid) {
  for (int i = 0; i < 200; ++i) {
    if (::kill(pid, 0) != 0) return true;
    const std::string stat = ReadFileText("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t paren = stat.rfind(')');
    if (paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] == 'Z') {
      return true;
    }
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

pid_t PidIn(const std::string& file) {
  return static_cast<pid_t>(std::atoi(ReadFileText(file).c_str()));
}

TEST_F(RunAndWaitTest, ProgramStillRunningAtTheLimitIsKilledWithItsGroup) {
  const std::string pidFile = folder.File("pid");
  const std::string script = "/bin/sleep 30 & echo $! > '" + pidFile + "'; wait";
  EXPECT_EQ(RunAndWait({"/bin/sh", "-c", script}, out, 300ms), 128 + SIGKILL);
  ASSERT_GT(PidIn(pidFile), 0);
  EXPECT_TRUE(Ended(PidIn(pidFile)));
}

TEST_F(RunAndWaitTest, ProgramThatEndsWhileItsChildHoldsTheOutputIsNotWaitedFor) {
  const std::string pidFile = folder.File("pid");
  const std::string script = "/bin/sleep 30 & echo $! > '" + pidFile + "'; echo done";
  EXPECT_EQ(RunAndWait({"/bin/sh", "-c", script}, out, 20s), 0);
  EXPECT_EQ(out, "done\n");
  EXPECT_TRUE(Ended(PidIn(pidFile)));
}

TEST_F(RunAndWaitTest, StopRequestEndsTheProgramAtOnce) {
  std::stop_source stop;
  const std::string pidFile = folder.File("pid");
  const std::string script = "echo $$ > '" + pidFile + "'; exec /bin/sleep 30";
  std::thread stopper([&] {
    while (PidIn(pidFile) <= 0) std::this_thread::sleep_for(1ms);
    stop.request_stop();
  });
  EXPECT_EQ(RunAndWait({"/bin/sh", "-c", script}, out, 60s, stop.get_token()), kCancelled);
  stopper.join();
  EXPECT_TRUE(Ended(PidIn(pidFile)));
  // Stopped before it starts: nothing runs.
  EXPECT_EQ(RunAndWait({"/usr/bin/touch", folder.File("ran")}, out, 10s, stop.get_token()),
            kCancelled);
  EXPECT_FALSE(Exists(folder.File("ran")));
}

TEST_F(RunAndWaitTest, OutputBeyondTheLimitEndsTheProgram) {
  EXPECT_EQ(RunAndWait({"/bin/cat", "/dev/zero"}, out, 20s, {}, 100000), 128 + SIGKILL);
  EXPECT_LE(out.size(), 100000u);
}

}  // namespace
}  // namespace qm
