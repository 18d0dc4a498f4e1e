// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "os/ProcessRunner.h"

namespace qm {
namespace {

using Outcome = ProcessResult::Outcome;

// Gone, or a zombie waiting for init.
bool NotRunning(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return true;
  const auto close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

// The background process whose pid r printed is gone, or a zombie, within
// a moment: a kill sent to the whole group reaches it as soon as it is
// scheduled, which may be a moment after the call returns.
void ExpectWhatItLeftEnds(const ProcessResult& r) {
  const pid_t child = static_cast<pid_t>(std::atol(r.out.c_str()));
  ASSERT_GT(child, 0) << r.out;
  for (int i = 0; i < 200 && !NotRunning(child); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(NotRunning(child));
}

TEST(ProcessRunnerTest, CapturesBothStreamsAndExitStatus) {
  const ProcessResult r = ProcessRunner::Run({"sh", "-c", "echo out; echo err >&2; exit 3"});
  EXPECT_EQ(r.outcome, Outcome::Exited);
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_FALSE(r.Succeeded());
  EXPECT_EQ(r.out, "out\n");
  EXPECT_EQ(r.err, "err\n");
}

TEST(ProcessRunnerTest, ArgumentsReachTheProgramUninterpreted) {
  const ProcessResult r = ProcessRunner::Run({"printf", "%s|", "a b", "$HOME", "`id`;*"});
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.out, "a b|$HOME|`id`;*|");
}

TEST(ProcessRunnerTest, MissingProgramIsNotStarted) {
  for (const char* program : {"/nonexistent/qm-tool", "qm-no-such-program-anywhere"}) {
    const ProcessResult r = ProcessRunner::Run({program, "--json"});
    EXPECT_EQ(r.outcome, Outcome::NotStarted) << program;
    EXPECT_NE(r.error.find(program), std::string::npos) << r.error;
  }
  EXPECT_EQ(ProcessRunner::Run({}).outcome, Outcome::NotStarted);
}

TEST(ProcessRunnerTest, TimeoutKillsTheWholeProcessGroup) {
  ProcessRunner::Options options;
  options.timeout = std::chrono::milliseconds(300);
  // The shell reports its background child, then both wait for ever.
  const ProcessResult r = ProcessRunner::Run({"sh", "-c", "sleep 60 & echo $!; wait"}, options);
  EXPECT_EQ(r.outcome, Outcome::TimedOut);
  ExpectWhatItLeftEnds(r);
}

TEST(ProcessRunnerTest, EndsWhenTheChildEndsAndEndsWhatItLeftRunning) {
  // The background sleep keeps the output pipe open after the shell exits.
  const ProcessResult r = ProcessRunner::Run({"sh", "-c", "sleep 60 & echo $!; exit 4"});
  EXPECT_EQ(r.outcome, Outcome::Exited);
  EXPECT_EQ(r.exitCode, 4);
  ExpectWhatItLeftEnds(r);
}

TEST(ProcessRunnerTest, StopRequestEndsTheRunAtOnceAndABeginningStopRunsNothing) {
  std::stop_source stop;
  ProcessRunner::Options options;
  options.timeout = std::chrono::seconds(60);
  options.cancel = stop.get_token();
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop.request_stop();
  });
  const auto start = std::chrono::steady_clock::now();
  const ProcessResult r = ProcessRunner::Run({"sh", "-c", "sleep 60 & echo $!; wait"}, options);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(r.outcome, Outcome::Cancelled);
  EXPECT_FALSE(r.Succeeded());
  ExpectWhatItLeftEnds(r);
  // Stopped before it starts: nothing runs.
  EXPECT_EQ(ProcessRunner::Run({"sh", "-c", "echo ran"}, options).outcome, Outcome::Cancelled);
}

TEST(ProcessRunnerTest, ReportsDeathBySignal) {
  const ProcessResult r = ProcessRunner::Run({"sh", "-c", "kill -TERM $$"});
  EXPECT_EQ(r.outcome, Outcome::Signaled);
  EXPECT_EQ(r.signal, SIGTERM);
}

TEST(ProcessRunnerTest, LargeOutputOnBothStreamsArrivesWhole) {
  const ProcessResult r =
      ProcessRunner::Run({"sh", "-c", "head -c 3000000 /dev/zero; head -c 2000000 /dev/zero >&2"});
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.out.size(), 3000000u);
  EXPECT_EQ(r.err.size(), 2000000u);
  EXPECT_FALSE(r.outputCut);
}

TEST(ProcessRunnerTest, OutputBeyondTheLimitIsDroppedWhileTheChildRunsOn) {
  ProcessRunner::Options options;
  options.outputLimit = 1000;
  const ProcessResult r = ProcessRunner::Run({"head", "-c", "1000000", "/dev/zero"}, options);
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.out.size(), 1000u);
  EXPECT_TRUE(r.outputCut);
}

TEST(ProcessRunnerTest, InputIsFedWhileOutputIsRead) {
  ProcessRunner::Options options;
  options.input.assign(2000000, 'q');
  const ProcessResult r = ProcessRunner::Run({"cat"}, options);
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.out, options.input);

  // A child that reads nothing must neither block us nor raise SIGPIPE here.
  const ProcessResult ignoring = ProcessRunner::Run({"true"}, options);
  EXPECT_TRUE(ignoring.Succeeded());
}

TEST(ProcessRunnerTest, ChildInheritsNoOtherDescriptors) {
  const int leaked = ::open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(leaked, 3);
  const ProcessResult r = ProcessRunner::Run({"ls", "/proc/self/fd"});
  ::close(leaked);
  ASSERT_TRUE(r.Succeeded()) << r.err;
  // ls lists 0, 1, 2 and the descriptor of the folder it reads.
  EXPECT_EQ(r.out, "0\n1\n2\n3\n");
}

TEST(ProcessRunnerTest, ExecutableLooksInPathAndExtraFolders) {
  EXPECT_TRUE(ProcessRunner::Executable("sh"));
  EXPECT_TRUE(ProcessRunner::Executable("/bin/sh"));
  EXPECT_FALSE(ProcessRunner::Executable("/tmp"));
  EXPECT_FALSE(ProcessRunner::Executable("qm-no-such-program-anywhere"));
  EXPECT_FALSE(ProcessRunner::Executable(""));
  const char* path = std::getenv("PATH");
  const std::string saved = path ? path : "";
  ::setenv("PATH", "/nonexistent", 1);
  EXPECT_FALSE(ProcessRunner::Executable("sh"));
  EXPECT_TRUE(ProcessRunner::Executable("sh", {"/bin"}));
  ::setenv("PATH", saved.c_str(), 1);
}

// A memory limit takes another way of starting the child, which must
// start it as the usual way does, with the limit set.
TEST(ProcessRunnerTest, MemoryLimitBindsTheChildAndChangesNothingElse) {
  const int leaked = ::open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  for (const std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{256} << 20}) {
    SCOPED_TRACE(limit);
    ProcessRunner::Options options;
    options.memoryLimit = limit;
    const ProcessResult r = ProcessRunner::Run(
        {"sh", "-c", "ulimit -v; ls /proc/self/fd; echo err >&2; exit 3"}, options);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, (limit ? "262144" : "unlimited") + std::string("\n0\n1\n2\n3\n"));
    EXPECT_EQ(r.err, "err\n");
    EXPECT_GT(r.maxResidentKb, 0);
    EXPECT_EQ(ProcessRunner::Run({"qm-no-such-program"}, options).outcome, Outcome::NotStarted);
  }
  ::close(leaked);
  ProcessRunner::Options bounded;
  bounded.memoryLimit = std::uint64_t{128} << 20;
  EXPECT_FALSE(
      ProcessRunner::Run({"sh", "-c", "head -c 400000000 /dev/zero | sort"}, bounded).Succeeded());
}

}  // namespace
}  // namespace qm
