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
};

TEST_F(RunAndWaitTest, WritesStandardOutputToTheFileAndGivesTheExitCode) {
  const std::string out = folder.File("out.txt");
  WriteFileText(out, "an earlier, longer content\n");
  EXPECT_EQ(RunAndWait({"/bin/echo", "hello", "world"}, out, 10s), 0);
  EXPECT_EQ(ReadFileText(out), "hello world\n");
  EXPECT_EQ(RunAndWait({"/bin/false"}, out, 10s), 1);
  EXPECT_EQ(RunAndWait({"/bin/sh", "-c", "exit 7"}, out, 10s), 7);
}

TEST_F(RunAndWaitTest, ProgramThatCannotStartGivesMinusOne) {
  EXPECT_EQ(RunAndWait({folder.File("no-such-program")}, folder.File("a"), 10s), -1);
  EXPECT_EQ(RunAndWait({}, folder.File("a"), 10s), -1);
  EXPECT_EQ(RunAndWait({"echo", "x"}, folder.File("a"), 10s), -1);  // no PATH search
  EXPECT_EQ(RunAndWait({"/bin/echo"}, folder.File("no-folder/out.txt"), 10s), -1);
}

TEST_F(RunAndWaitTest, ArgumentsAndPathsReachTheProgramAsTheyAre) {
  // A folder name a shell would run as a command.
  const std::string odd = folder.File("d$(touch pwned); touch pwned2 \"'");
  ASSERT_TRUE(std::filesystem::create_directory(odd));
  const std::string out = odd + "/IP.txt";
  EXPECT_EQ(RunAndWait({"/bin/echo", "$(touch pwned3)", ">", "x"}, out, 10s), 0);
  EXPECT_EQ(ReadFileText(out), "$(touch pwned3) > x\n");
  for (const char* name : {"pwned", "pwned2", "pwned3", "x"}) {
    EXPECT_FALSE(Exists(folder.File(name))) << name;
    EXPECT_FALSE(Exists(name)) << name;
  }
}

TEST_F(RunAndWaitTest, NoDescriptorIsInherited) {
  const int fd = ::open(folder.File("held").c_str(), O_WRONLY | O_CREAT, 0600);  // no O_CLOEXEC
  ASSERT_GE(fd, 3);
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  EXPECT_EQ(RunAndWait({"/usr/bin/test", "-e", path}, folder.File("out"), 10s), 1);
  EXPECT_EQ(RunAndWait({"/usr/bin/test", "-e", "/proc/self/fd/1"}, folder.File("out"), 10s), 0);
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

TEST_F(RunAndWaitTest, ProgramStillRunningAtTheLimitIsKilledWithItsGroup) {
  const std::string pidFile = folder.File("pid");
  const std::string script = "/bin/sleep 30 & echo $! > '" + pidFile + "'; wait";
  const int code = RunAndWait({"/bin/sh", "-c", script}, folder.File("out"), 300ms);
  EXPECT_EQ(code, 128 + SIGKILL);
  const pid_t child = static_cast<pid_t>(std::atoi(ReadFileText(pidFile).c_str()));
  ASSERT_GT(child, 0);
  EXPECT_TRUE(Ended(child));
}

TEST_F(RunAndWaitTest, WorkFileThatIsALinkIsNotFollowed) {
  const std::string victim = folder.File("victim");
  WriteFileText(victim, "keep me\n");
  const std::string link = folder.File("IP.txt");
  ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
  EXPECT_EQ(RunAndWait({"/bin/echo", "overwritten"}, link, 10s), -1);
  EXPECT_EQ(ReadFileText(victim), "keep me\n");
}

}  // namespace
}  // namespace qm
