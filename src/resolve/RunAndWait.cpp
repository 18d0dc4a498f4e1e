#include "resolve/RunAndWait.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#if !defined(__GLIBC__) || __GLIBC__ < 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ < 34)
#error "RunAndWait needs posix_spawn_file_actions_addclosefrom_np (glibc 2.34 or later)"
#endif

extern char** environ;

namespace qm {

namespace {

using Clock = std::chrono::steady_clock;

// The file actions and attributes of one start, released on every path.
class SpawnSetup {
 public:
  explicit SpawnSetup(const std::string& outputPath) {
    if (posix_spawn_file_actions_init(&actions_) != 0) return;
    actionsMade_ = true;
    if (posix_spawnattr_init(&attributes_) != 0) return;
    attributesMade_ = true;
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    // O_NOFOLLOW: a link planted under a work file's name must not make
    // the program empty whatever it points to.
    ok_ =
        posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
        posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, outputPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600) == 0 &&
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

// Waits until the child has ended (true, status set) or the deadline has
// passed (false). A pidfd wakes us the moment the child ends; without one
// (older kernels) the wait polls with growing pauses.
bool WaitUntil(pid_t pid, Clock::time_point deadline, int& status) {
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  auto pause = std::chrono::milliseconds(1);
  bool ended = false;
  for (;;) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      ended = true;
      break;
    }
    if (r < 0 && errno != EINTR) {
      // Reaped elsewhere: how it ended is unknown, so it counts as failed.
      status = -1;
      ended = true;
      break;
    }
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) break;
    const auto leftMs = std::chrono::ceil<std::chrono::milliseconds>(left);
    if (pidfd >= 0) {
      pollfd p{pidfd, POLLIN, 0};
      poll(&p, 1,
           static_cast<int>(std::min<std::chrono::milliseconds::rep>(leftMs.count(), 60000)));
    } else {
      std::this_thread::sleep_for(std::min(pause, leftMs));
      pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
  }
  if (pidfd >= 0) close(pidfd);
  return ended;
}

}  // namespace

int RunAndWait(const std::vector<std::string>& arguments, const std::string& outputPath,
               std::chrono::milliseconds timeLimit) {
  if (arguments.empty() || arguments.front().empty()) return -1;
  const Clock::time_point deadline = Clock::now() + timeLimit;
  SpawnSetup setup(outputPath);
  if (!setup.Ok()) return -1;
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], setup.Actions(), setup.Attributes(), argv.data(), environ) != 0) {
    return -1;
  }
  int status = 0;
  if (WaitUntil(pid, deadline, status)) return status == -1 ? -1 : ExitCode(status);
  // The group goes too, so nothing the program started keeps the file open.
  kill(-pid, SIGKILL);
  kill(pid, SIGKILL);
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return ExitCode(status);
}

}  // namespace qm
