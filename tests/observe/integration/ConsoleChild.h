// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

// quillmoor98 --console started as a child on a simulated server in a
// folder of its own, with pipes to its standard streams.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "os/AtomicFile.h"
#include "os/ProcessRunner.h"
#include "platform/sim/SimulatedServerBackend.h"

namespace qm::test {

class ConsoleChild {
 public:
  ConsoleChild() {
    char dir[] = "/tmp/qm-observe-XXXXXX";
    dir_ = ::mkdtemp(dir);
    tables.shares = {{"DOCS", "/srv/docs", 0}};
    WriteState();
  }
  ~ConsoleChild() {
    if (in_ >= 0) ::close(in_);
    if (out_ >= 0) ::close(out_);
    if (pid_ > 0) ProcessRunner::KillAndReap(pid_);
    std::filesystem::remove_all(dir_);
  }
  ConsoleChild(const ConsoleChild&) = delete;
  ConsoleChild& operator=(const ConsoleChild&) = delete;

  const std::string& Dir() const { return dir_; }
  void Connect(const std::string& client, const std::string& address = "127.0.0.1") {
    tables.connections.push_back({"DOCS", client, "user-" + client});
    tables.sessions.push_back({client, "user-" + client, 0, address});
  }
  void WriteState() {
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(
        dir_ + "/state.json", SimulatedServerBackend::Serialize(tables, false, failures), error));
  }
  void WriteSettings(const std::string& ini) {
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(dir_ + "/Quillmoor98.ini", ini, error));
  }

  // Standard error goes to a file in the folder. server: the simulated
  // one of the folder unless named.
  void Start(const std::vector<std::string>& args, const std::string& server = "") {
    ::setenv("QUILLMOOR98_SERVER",
             (server.empty() ? "sim:" + dir_ + "/state.json" : server).c_str(), 1);
    ::setenv("QUILLMOOR98_SYSCONFDIR", dir_.c_str(), 1);
    ::setenv("QUILLMOOR98_PROGRAM_DIR", dir_.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    ::unsetenv("JOURNAL_STREAM");
    int in[2], out[2];
    ASSERT_EQ(::pipe2(in, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    const int err = ::open((dir_ + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    std::vector<std::string> argv = {std::string(QM_BIN_DIR) + "/quillmoor98", "--console"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string error;
    pid_ = ProcessRunner::Spawn(argv, in[0], out[1], err, error);
    ASSERT_GT(pid_, 0) << error;
    ::close(in[0]);
    ::close(out[1]);
    ::close(err);
    in_ = in[1];
    out_ = out[0];
  }
  void Line() { ASSERT_EQ(::write(in_, "\n", 1), 1); }
  // Reads standard output until text appears or timeout passes.
  bool WaitFor(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char buf[4096];
      const ssize_t n = ::read(out_, buf, sizeof buf);
      if (n <= 0) return false;
      out.append(buf, static_cast<std::size_t>(n));
    }
    return true;
  }
  // Ends input (a normal shutdown) and waits for the exit status.
  int Finish() {
    ::close(in_);
    in_ = -1;
    WaitFor("\x01never", std::chrono::seconds(15));  // reads to the end
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  ServerTables tables;
  std::map<std::string, NetStatus> failures;  // the state file's "fail"
  std::string out;

 private:
  std::string dir_;
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
};

// quillmoor98 ctl ARGS against the control socket.
inline ProcessResult RunCtl(const std::string& socket, std::vector<std::string> args) {
  args.insert(args.begin(), {std::string(QM_BIN_DIR) + "/quillmoor98", "ctl", "--socket", socket});
  ProcessRunner::Options options;
  options.timeout = std::chrono::seconds(20);
  return ProcessRunner::Run(args, options);
}

// Whether a tool the test needs is there; in CI its absence is a failure.
inline bool NeedTool(const std::string& name) {
  if (ProcessRunner::Executable(name)) return true;
  const char* ci = std::getenv("CI");
  if (ci && std::string(ci) == "true") {
    ADD_FAILURE() << name << " is not installed; scripts/install-deps.sh installs it";
  }
  return false;
}

}  // namespace qm::test
