// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

namespace qm {

// How a program run ended.
struct ProcessResult {
  enum class Outcome {
    Exited,      // exitCode holds its exit status
    Signaled,    // ended by signal (not by us)
    TimedOut,    // still running at the time limit: its process group was killed
    Cancelled,   // a stop was requested: its process group was killed at once
    NotStarted,  // could not be started; error says why
  };
  Outcome outcome = Outcome::NotStarted;
  int exitCode = -1;
  int signal = 0;
  std::string out;         // standard output, at most outputLimit bytes
  std::string err;         // standard error, at most outputLimit bytes
  bool outputCut = false;  // a stream went over outputLimit; the rest was read and dropped
  std::string error;
  // The child's peak resident memory and processor time (user and
  // system), with those of the children it waited for (what sudo ran).
  long maxResidentKb = 0;
  double cpuSeconds = 0;

  bool Succeeded() const { return outcome == Outcome::Exited && exitCode == 0; }
};

// Runs programs from an argument vector, never through a shell. The child
// gets its own process group, default signal dispositions, no inherited
// descriptors besides 0, 1 and 2, and /dev/null as standard input unless
// told otherwise. When the child ends, whatever it left running in its
// process group is ended too. The one way the program runs a tool and
// waits for it.
class ProcessRunner {
 public:
  struct Options {
    std::chrono::milliseconds timeout{5000};
    std::size_t outputLimit = std::size_t{64} << 20;  // per stream
    // Written to the child's standard input, which is then closed.
    std::string input;
    // A stop requested here kills the child's process group at once.
    std::stop_token cancel;
    // Bytes of address space the child and what it starts may have
    // (RLIMIT_AS, set in the child before it runs argv); 0: unbounded.
    std::uint64_t memoryLimit = 0;
  };

  // Runs argv[0] (searched in PATH when it has no slash) and waits for it,
  // capturing its output. Never throws for a failing program.
  static ProcessResult Run(const std::vector<std::string>& argv, const Options& options);
  static ProcessResult Run(const std::vector<std::string>& argv) { return Run(argv, Options{}); }

  // Starts argv with the given descriptors as its standard input, output
  // and error (-1: /dev/null) in a new process group whose id is the
  // child's pid. Every other descriptor is closed in the child. Returns the
  // pid, or -1 with error set.
  static pid_t Spawn(const std::vector<std::string>& argv, int stdinFd, int stdoutFd, int stderrFd,
                     std::string& error, std::uint64_t memoryLimit = 0);

  // Kills the process group of a child started by Spawn and reaps the
  // child. Safe to call for a child that has already ended but is not reaped.
  static void KillAndReap(pid_t pid);

  // True when name can be run: a path to an executable file, or a name
  // found as an executable file in PATH (or in extraDirs).
  static bool Executable(const std::string& name, const std::vector<std::string>& extraDirs = {});
  // The file name stands for, as Run finds it: itself when it has a slash,
  // else the first executable file of that name in PATH ("" when none).
  static std::string Find(const std::string& name, const std::vector<std::string>& extraDirs = {});
};

}  // namespace qm
