#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qm {

std::string InstanceName(const std::string& programFile) {
  std::string name = programFile.substr(programFile.find_last_of('/') + 1);
  name = name.substr(0, name.find('.'));
  for (std::size_t i = 1; i < name.size(); ++i) {
    if (name[i] >= 'A' && name[i] <= 'Z') name[i] = static_cast<char>(name[i] - 'A' + 'a');
  }
  return name;
}

std::string SingleInstance::LockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime && ::access(runtime, W_OK | X_OK) == 0) return runtime;
  return "/tmp";
}

SingleInstance::~SingleInstance() {
  if (fd_ >= 0) ::close(fd_);
}

SingleInstance::Result SingleInstance::Acquire(const std::string& name, std::string& error) {
  path_ = LockFolder() + "/" + (name.empty() ? std::string("quillmoor98") : name) + ".lock";
  // O_NOFOLLOW: a link planted in a shared folder must not redirect us.
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    error = "cannot open " + path_ + ": " + std::strerror(errno);
    return Result::kError;
  }
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return Result::kFirst;
  const int saved = errno;
  ::close(fd_);
  fd_ = -1;
  if (saved == EWOULDBLOCK) return Result::kAlreadyRunning;
  error = "cannot lock " + path_ + ": " + std::strerror(saved);
  return Result::kError;
}

}  // namespace qm
