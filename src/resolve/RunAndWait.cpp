#include "resolve/RunAndWait.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#if !defined(__GLIBC__) || __GLIBC__ < 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ < 34)
#error "RunAndWait needs posix_spawn_file_actions_addclosefrom_np (glibc 2.34 or later)"
#endif

extern char** environ;

namespace qm {

namespace {

using Clock = std::chrono::steady_clock;

// A descriptor closed on every path.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { Reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// The file actions and attributes of one start, released on every path.
class SpawnSetup {
 public:
  explicit SpawnSetup(int outputFd) {
    if (posix_spawn_file_actions_init(&actions_) != 0) return;
    actionsMade_ = true;
    if (posix_spawnattr_init(&attributes_) != 0) return;
    attributesMade_ = true;
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    ok_ =
        posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
        posix_spawn_file_actions_adddup2(&actions_, outputFd, STDOUT_FILENO) == 0 &&
        posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
        posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1) == 0 &&
        posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
        posix_spawnattr_setsigdefault(&attributes_, &all) == 0 &&
        posix_spawnattr_setpgroup(&attributes_, 0) == 0 &&
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                   POSIX_SPAWN_SETPGROUP) == 0;
  }
  ~SpawnSetup() {
    if (attributesMade_) posix_spawnattr_destroy(&attributes_);
    if (actionsMade_) posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  bool Ok() const { return ok_; }
  const posix_spawn_file_actions_t* Actions() const { return &actions_; }
  const posix_spawnattr_t* Attributes() const { return &attributes_; }

 private:
  posix_spawn_file_actions_t actions_{};
  posix_spawnattr_t attributes_{};
  bool actionsMade_ = false;
  bool attributesMade_ = false;
  bool ok_ = false;
};

int ExitCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// The child has ended (or is gone); it stays a zombie, unreaped, so its
// process group cannot be taken over before we have ended the group.
bool HasEnded(pid_t pid) {
  for (;;) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0) {
      return info.si_pid == pid;
    }
    if (errno != EINTR) return true;
  }
}

// Moves what the pipe holds now into output; false at its end (or on an
// error). full is set when output would grow past maxOutput.
bool Drain(int fd, std::string& output, std::size_t maxOutput, bool& full) {
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      if (output.size() + static_cast<std::size_t>(n) > maxOutput) {
        full = true;
        return true;
      }
      output.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

}  // namespace

int RunAndWait(const std::vector<std::string>& arguments, std::string& output,
               std::chrono::milliseconds timeLimit, std::stop_token cancel,
               std::size_t maxOutput) {
  output.clear();
  if (arguments.empty() || arguments.front().empty()) return -1;
  if (cancel.stop_requested()) return kCancelled;
  const Clock::time_point deadline = Clock::now() + timeLimit;

  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return -1;
  Descriptor readEnd(ends[0]), writeEnd(ends[1]);
  Descriptor wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (wake.Get() < 0) return -1;
  // Wakes the wait below the moment a stop is requested.
  std::stop_callback onCancel(cancel, [fd = wake.Get()] {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
  });

  pid_t pid = -1;
  {
    SpawnSetup setup(writeEnd.Get());
    if (!setup.Ok()) return -1;
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid, argv[0], setup.Actions(), setup.Attributes(), argv.data(), environ) !=
        0) {
      return -1;
    }
  }
  writeEnd.Reset();
  ::fcntl(readEnd.Get(), F_SETFL, ::fcntl(readEnd.Get(), F_GETFL) | O_NONBLOCK);
  // A pidfd tells the moment the child ends even when something it started
  // keeps the pipe open; without one (older kernels) the wait looks every
  // 20 ms.
  Descriptor pidfd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));

  bool ended = false, full = false, open = true, cancelled = false;
  while (!(ended = HasEnded(pid))) {
    if (cancel.stop_requested()) {
      cancelled = true;
      break;
    }
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) break;
    int waitMs = static_cast<int>(std::min<std::chrono::milliseconds::rep>(
        std::chrono::ceil<std::chrono::milliseconds>(left).count(), 60000));
    if (pidfd.Get() < 0) waitMs = std::min(waitMs, 20);
    pollfd p[3] = {{wake.Get(), POLLIN, 0},
                   {pidfd.Get(), POLLIN, 0},
                   {open ? readEnd.Get() : -1, POLLIN, 0}};
    ::poll(p, 3, waitMs);
    if (open && (p[2].revents & (POLLIN | POLLHUP | POLLERR))) {
      open = Drain(readEnd.Get(), output, maxOutput, full);
      if (full) break;
    }
  }
  // What it wrote before it ended is still in the pipe.
  if (ended && open && !full) Drain(readEnd.Get(), output, maxOutput, full);
  // The group goes too: what the program left running, or the program
  // itself when it was stopped.
  kill(-pid, SIGKILL);
  if (!ended) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (cancelled) return kCancelled;
  if (full) return 128 + SIGKILL;
  return ExitCode(status);
}

}  // namespace qm
