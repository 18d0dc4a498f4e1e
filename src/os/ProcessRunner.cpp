// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "os/ProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "os/FileDescriptor.h"

extern char** environ;

namespace qm {

namespace {
using Clock = std::chrono::steady_clock;

// How long one wait may last before the child is looked at again when the
// kernel gives no descriptor that tells its end (before Linux 5.3).
constexpr std::chrono::milliseconds kCheckInterval{50};

// Reads what is available; false at end of stream or on error.
bool ReadSome(int fd, std::string& into, std::size_t limit, bool& cut) {
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0) {
      const std::size_t room = limit > into.size() ? limit - into.size() : 0;
      const auto take = std::min(room, static_cast<std::size_t>(n));
      into.append(chunk, take);
      if (take < static_cast<std::size_t>(n)) cut = true;
      continue;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

// The child has ended (or is gone). It stays a zombie, unreaped, so its
// process group cannot be taken over before the group has been ended.
bool HasEnded(pid_t pid) {
  for (;;) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0) {
      return info.si_pid == pid;
    }
    if (errno != EINTR) return true;
  }
}

void Record(int status, ProcessResult& result) {
  if (WIFEXITED(status)) {
    result.outcome = ProcessResult::Outcome::Exited;
    result.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.outcome = ProcessResult::Outcome::Signaled;
    result.signal = WTERMSIG(status);
  }
}
}  // namespace

namespace {
// posix_spawn cannot set a resource limit: this child is forked and sets
// it before exec, with async-signal-safe calls only (the parent may have
// other threads). Otherwise it starts argv as posix_spawn does.
pid_t SpawnLimited(const std::vector<std::string>& argv, std::array<int, 3> fds,
                   std::uint64_t memoryLimit, std::string& error) {
  const std::string path = ProcessRunner::Find(argv[0]);
  if (path.empty()) {
    error = argv[0] + ": " + std::strerror(ENOENT);
    return -1;
  }
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const FileDescriptor null(::open("/dev/null", O_RDWR | O_CLOEXEC));
  for (int& fd : fds) {
    if (fd < 0) fd = null.Get();
  }
  // Tells the parent why exec failed; closed by a successful exec.
  FileDescriptor report, reportWrite;
  if (!FileDescriptor::MakePipe(report, reportWrite)) {
    error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return -1;
  }
  const rlimit limit{static_cast<rlim_t>(memoryLimit), static_cast<rlim_t>(memoryLimit)};
  const int reportFd = reportWrite.Get();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    // Moved above 2 first, so that placing one cannot overwrite another.
    int moved[3];
    for (int i = 0; i < 3; ++i) moved[i] = ::fcntl(fds[i], F_DUPFD_CLOEXEC, 3);
    for (int i = 0; i < 3; ++i) ::dup2(moved[i], i);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < 32; ++sig) {
      if (sig != SIGKILL && sig != SIGSTOP) ::sigaction(sig, &dfl, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (reportFd > 3) ::syscall(SYS_close_range, 3u, static_cast<unsigned>(reportFd - 1), 0u);
    ::syscall(SYS_close_range, static_cast<unsigned>(reportFd + 1), ~0u, 0u);
    int failed = 0;
    if (::setrlimit(RLIMIT_AS, &limit) != 0) failed = errno;
    if (!failed) {
      ::execve(path.c_str(), args.data(), environ);
      failed = errno;
    }
    [[maybe_unused]] const ssize_t n = ::write(reportFd, &failed, sizeof failed);
    ::_exit(127);
  }
  if (pid < 0) {
    error = argv[0] + ": " + std::strerror(errno);
    return -1;
  }
  ::setpgid(pid, pid);
  reportWrite.Close();
  int failed = 0;
  ssize_t n;
  while ((n = ::read(report.Get(), &failed, sizeof failed)) < 0 && errno == EINTR) {
  }
  if (n == sizeof failed) {
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    error = argv[0] + ": " + std::strerror(failed);
    return -1;
  }
  return pid;
}
}  // namespace

pid_t ProcessRunner::Spawn(const std::vector<std::string>& argv, int stdinFd, int stdoutFd,
                           int stderrFd, std::string& error, std::uint64_t memoryLimit) {
  if (argv.empty() || argv[0].empty()) {
    error = "no program given";
    return -1;
  }
  if (memoryLimit > 0) return SpawnLimited(argv, {stdinFd, stdoutFd, stderrFd}, memoryLimit, error);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  const int fds[3] = {stdinFd, stdoutFd, stderrFd};
  for (int target = 0; target < 3; ++target) {
    if (fds[target] >= 0) {
      posix_spawn_file_actions_adddup2(&actions, fds[target], target);
    } else {
      posix_spawn_file_actions_addopen(&actions, target, "/dev/null",
                                       target == 0 ? O_RDONLY : O_WRONLY, 0);
    }
  }
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  // Ignored signals survive exec: give the child the defaults.
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int sig = 1; sig < 32; ++sig) {
    if (sig != SIGKILL && sig != SIGSTOP) sigaddset(&defaults, sig);
  }
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    error = argv[0] + ": " + std::strerror(rc);
    return -1;
  }
  return pid;
}

void ProcessRunner::KillAndReap(pid_t pid) {
  if (pid <= 0) return;
  ::kill(-pid, SIGKILL);
  ::kill(pid, SIGKILL);
  int status;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

ProcessResult ProcessRunner::Run(const std::vector<std::string>& argv, const Options& options) {
  ProcessResult result;
  if (options.cancel.stop_requested()) {
    result.outcome = ProcessResult::Outcome::Cancelled;
    result.error = (argv.empty() ? std::string("a program") : argv[0]) + ": stopped";
    return result;
  }
  const auto deadline = Clock::now() + options.timeout;
  FileDescriptor outRead, outWrite, errRead, errWrite, inParent, inChild;
  if (!FileDescriptor::MakePipe(outRead, outWrite) ||
      !FileDescriptor::MakePipe(errRead, errWrite)) {
    result.error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return result;
  }
  if (!options.input.empty()) {
    // A socket rather than a pipe: a child that stops reading early must
    // not raise SIGPIPE in this process (send with MSG_NOSIGNAL).
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
      result.error = std::string("cannot make a socket pair: ") + std::strerror(errno);
      return result;
    }
    inParent.Reset(sv[0]);
    inChild.Reset(sv[1]);
    ::shutdown(sv[0], SHUT_RD);
  }
  // Wakes the wait below the moment a stop is requested.
  const FileDescriptor wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake.Valid()) {
    result.error = std::string("cannot make an event descriptor: ") + std::strerror(errno);
    return result;
  }
  const std::stop_callback onCancel(options.cancel, [fd = wake.Get()] {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
  });

  const pid_t pid =
      Spawn(argv, inChild.Get(), outWrite.Get(), errWrite.Get(), result.error, options.memoryLimit);
  if (pid < 0) return result;
  inChild.Close();
  outWrite.Close();
  errWrite.Close();
  outRead.SetNonBlocking();
  errRead.SetNonBlocking();
  inParent.SetNonBlocking();
  // Tells the moment the child ends even while something it started keeps
  // its output open.
  const FileDescriptor pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));

  std::size_t written = 0;
  bool outOpen = true, errOpen = true, ended = false, cancelled = false;
  for (;;) {
    if ((ended = HasEnded(pid))) break;
    if ((cancelled = options.cancel.stop_requested())) break;
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) break;
    auto wait = std::min(std::chrono::ceil<std::chrono::milliseconds>(left),
                         std::chrono::milliseconds(60000));
    if (!pidfd.Valid()) wait = std::min(wait, kCheckInterval);
    pollfd fds[5] = {{wake.Get(), POLLIN, 0},
                     {pidfd.Get(), POLLIN, 0},
                     {outOpen ? outRead.Get() : -1, POLLIN, 0},
                     {errOpen ? errRead.Get() : -1, POLLIN, 0},
                     {inParent.Get(), POLLOUT, 0}};
    if (::poll(fds, 5, static_cast<int>(wait.count())) < 0 && errno != EINTR) break;
    if (fds[2].revents) {
      outOpen = ReadSome(outRead.Get(), result.out, options.outputLimit, result.outputCut);
    }
    if (fds[3].revents) {
      errOpen = ReadSome(errRead.Get(), result.err, options.outputLimit, result.outputCut);
    }
    if (fds[4].revents) {
      bool done = (fds[4].revents & (POLLERR | POLLHUP)) != 0;
      while (!done && written < options.input.size()) {
        const ssize_t w = ::send(inParent.Get(), options.input.data() + written,
                                 options.input.size() - written, MSG_NOSIGNAL);
        if (w > 0) {
          written += static_cast<std::size_t>(w);
        } else if (w < 0 && errno == EINTR) {
          continue;
        } else {
          done = w < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
          break;
        }
      }
      if (done || written >= options.input.size()) inParent.Close();
    }
  }
  // What it wrote before it ended is still in the pipes.
  if (ended && outOpen) ReadSome(outRead.Get(), result.out, options.outputLimit, result.outputCut);
  if (ended && errOpen) ReadSome(errRead.Get(), result.err, options.outputLimit, result.outputCut);
  // The group goes too: what the program left running, or the program
  // itself when it was stopped or ran out of time.
  ::kill(-pid, SIGKILL);
  if (!ended) ::kill(pid, SIGKILL);
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  result.maxResidentKb = usage.ru_maxrss;
  result.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  if (cancelled) {
    result.outcome = ProcessResult::Outcome::Cancelled;
    result.error = argv[0] + ": stopped";
  } else if (!ended) {
    result.outcome = ProcessResult::Outcome::TimedOut;
    result.error =
        argv[0] + ": no answer within " + std::to_string(options.timeout.count()) + " ms";
  } else {
    Record(status, result);
  }
  return result;
}

std::string ProcessRunner::Find(const std::string& name,
                                const std::vector<std::string>& extraDirs) {
  auto runnable = [](const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
  };
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return runnable(name) ? name : std::string();
  std::vector<std::string> dirs;
  const char* path = std::getenv("PATH");
  std::string list = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t end = std::min(list.find(':', start), list.size());
    dirs.push_back(end > start ? list.substr(start, end - start) : ".");
    start = end + 1;
  }
  dirs.insert(dirs.end(), extraDirs.begin(), extraDirs.end());
  for (const auto& dir : dirs) {
    if (runnable(dir + "/" + name)) return dir + "/" + name;
  }
  return {};
}

bool ProcessRunner::Executable(const std::string& name, const std::vector<std::string>& extraDirs) {
  return !Find(name, extraDirs).empty();
}

}  // namespace qm
