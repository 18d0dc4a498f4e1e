#include "platform/ProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace qm {

namespace {
using Clock = std::chrono::steady_clock;

// How long one poll may wait before the child is checked: a child can end
// while a descendant still holds its output open.
constexpr std::chrono::milliseconds kCheckInterval{50};

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

bool MakePipe(Fd& readEnd, Fd& writeEnd) {
  int p[2];
  if (::pipe2(p, O_CLOEXEC) != 0) return false;
  readEnd.Reset(p[0]);
  writeEnd.Reset(p[1]);
  return true;
}

void SetNonBlocking(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

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

// Waits for the child without blocking past deadline. True when reaped.
bool ReapBy(pid_t pid, int& status, Clock::time_point deadline) {
  auto pause = std::chrono::microseconds(200);
  for (;;) {
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return true;
    if (r < 0 && errno != EINTR) return true;  // not our child any more
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(pause);
    pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(20));
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

pid_t ProcessRunner::Spawn(const std::vector<std::string>& argv, int stdinFd, int stdoutFd,
                           int stderrFd, std::string& error) {
  if (argv.empty() || argv[0].empty()) {
    error = "no program given";
    return -1;
  }
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
  const auto deadline = Clock::now() + options.timeout;
  Fd outRead, outWrite, errRead, errWrite, inParent, inChild;
  if (!MakePipe(outRead, outWrite) || !MakePipe(errRead, errWrite)) {
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

  const pid_t pid = Spawn(argv, inChild.get(), outWrite.get(), errWrite.get(), result.error);
  if (pid < 0) return result;
  inChild.Close();
  outWrite.Close();
  errWrite.Close();
  SetNonBlocking(outRead.get());
  SetNonBlocking(errRead.get());
  if (inParent.get() >= 0) SetNonBlocking(inParent.get());

  std::size_t written = 0;
  bool outOpen = true, errOpen = true;
  int status = 0;
  bool reaped = false;
  while (outOpen || errOpen || inParent.get() >= 0) {
    const auto now = Clock::now();
    if (now >= deadline) break;
    pollfd fds[3];
    nfds_t n = 0;
    int outAt = -1, errAt = -1, inAt = -1;
    if (outOpen) {
      outAt = static_cast<int>(n);
      fds[n++] = {outRead.get(), POLLIN, 0};
    }
    if (errOpen) {
      errAt = static_cast<int>(n);
      fds[n++] = {errRead.get(), POLLIN, 0};
    }
    if (inParent.get() >= 0) {
      inAt = static_cast<int>(n);
      fds[n++] = {inParent.get(), POLLOUT, 0};
    }
    const auto wait = std::min(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now), kCheckInterval);
    const int ready = ::poll(fds, n, static_cast<int>(wait.count()) + 1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready == 0) {
      // Quiet: has the child ended while something else holds its output?
      const pid_t r = ::waitpid(pid, &status, WNOHANG);
      if (r == pid) {
        reaped = true;
        if (outOpen) ReadSome(outRead.get(), result.out, options.outputLimit, result.outputCut);
        if (errOpen) ReadSome(errRead.get(), result.err, options.outputLimit, result.outputCut);
        break;
      }
      continue;
    }
    if (outAt >= 0 && fds[outAt].revents) {
      outOpen = ReadSome(outRead.get(), result.out, options.outputLimit, result.outputCut);
    }
    if (errAt >= 0 && fds[errAt].revents) {
      errOpen = ReadSome(errRead.get(), result.err, options.outputLimit, result.outputCut);
    }
    if (inAt >= 0 && fds[inAt].revents) {
      bool done = (fds[inAt].revents & (POLLERR | POLLHUP)) != 0;
      while (!done && written < options.input.size()) {
        const ssize_t w = ::send(inParent.get(), options.input.data() + written,
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
  inParent.Close();

  if (!reaped) reaped = ReapBy(pid, status, deadline);
  if (!reaped) {
    KillAndReap(pid);
    result.outcome = ProcessResult::Outcome::TimedOut;
    result.error =
        argv[0] + ": no answer within " + std::to_string(options.timeout.count()) + " ms";
    return result;
  }
  Record(status, result);
  return result;
}

bool ProcessRunner::Executable(const std::string& name, const std::vector<std::string>& extraDirs) {
  auto runnable = [](const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
  };
  if (name.empty()) return false;
  if (name.find('/') != std::string::npos) return runnable(name);
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
  return std::any_of(dirs.begin(), dirs.end(),
                     [&](const std::string& dir) { return runnable(dir + "/" + name); });
}

}  // namespace qm
