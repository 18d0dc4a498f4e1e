// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

// The whole program, `quillmoor98 --console --step`, started with an
// environment of the benchmark's choosing: it waits for the start-up's
// first tick to show the expected users, then ends the program's input (a
// normal shutdown) while their lookups are still pending, and times how
// long the program takes to end.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "os/ProcessRunner.h"
#include "resolve/NameTable.h"

namespace qm::bench {

struct StopResult {
  std::string error;   // "" when it went as planned
  double seconds = 0;  // from the end of input to the program's end
  int exitCode = -1;
  int firstTickUsers = -1;  // users the start-up's tick showed
};

// The program beside the benchmark, or "" when it is not built.
inline std::string ProgramBesideBenchmark() {
  std::string tool = NameTable::ToolBesideProgram();
  const std::size_t slash = tool.rfind('/');
  if (slash == std::string::npos) return {};
  const std::string program = tool.substr(0, slash) + "/quillmoor98";
  return ::access(program.c_str(), X_OK) == 0 ? program : std::string();
}

// environment: NAME=VALUE entries added to the benchmark's own. The first
// tick must show at least 90% of expectedUsers.
inline StopResult StopWhileLookupsPending(const std::vector<std::string>& environment,
                                          int expectedUsers, std::chrono::seconds startLimit) {
  using Clock = std::chrono::steady_clock;
  StopResult r;
  const std::string program = ProgramBesideBenchmark();
  if (program.empty()) {
    r.error = "quillmoor98 is not built beside the benchmark";
    return r;
  }
  std::vector<std::string> argv = {"/usr/bin/env"};
  argv.insert(argv.end(), environment.begin(), environment.end());
  argv.insert(argv.end(), {program, "--console", "--step"});
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return {"no pipe"};
  if (::pipe2(out, O_CLOEXEC) != 0) return {"no pipe"};
  const pid_t pid = ProcessRunner::Spawn(argv, in[0], out[1], -1, r.error);
  ::close(in[0]);
  ::close(out[1]);
  if (pid < 0) {
    ::close(in[1]);
    ::close(out[0]);
    return r;
  }
  // The first "tick N users U files F" line.
  std::string text;
  const Clock::time_point deadline = Clock::now() + startLimit;
  for (;;) {
    const std::size_t tick = text.find("tick ");
    if (tick != std::string::npos && text.find('\n', tick) != std::string::npos) {
      const std::size_t users = text.find(" users ", tick);
      if (users != std::string::npos) r.firstTickUsers = std::atoi(text.c_str() + users + 7);
      break;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{out[0], POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
      r.error = "the program showed no tick in time";
      break;
    }
    char buffer[4096];
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n <= 0) {
      r.error = "the program ended before its first tick";
      break;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  // A client or two of a real server may still be setting up.
  if (r.error.empty() && r.firstTickUsers < expectedUsers * 9 / 10) {
    r.error = "the first tick showed " + std::to_string(r.firstTickUsers) + " users";
  }
  const Clock::time_point stop = Clock::now();
  ::close(in[1]);
  // Keep reading, so the program never blocks on a full pipe.
  char buffer[65536];
  while (::read(out[0], buffer, sizeof buffer) > 0) {
  }
  ::close(out[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - stop).count();
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

// The records of a "Tree.dat": users (level 0) and all; -1 when unreadable.
inline void CountTreeRecords(const std::string& path, long& users, long& records) {
  users = records = -1;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  users = records = 0;
  unsigned char record[392];
  for (;;) {
    std::size_t got = 0;
    while (got < sizeof record) {
      const ssize_t n = ::read(fd, record + got, sizeof record - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (got < sizeof record) break;
    ++records;
    const std::int32_t level = static_cast<std::int32_t>(record[386] | record[387] << 8 |
                                                         record[388] << 16 | record[389] << 24);
    if (level == 0) ++users;
  }
  ::close(fd);
}

}  // namespace qm::bench
