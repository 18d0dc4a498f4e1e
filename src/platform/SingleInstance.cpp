// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "os/AtomicFile.h"
#include "os/ProgramFile.h"
#include "os/TrustedPath.h"
#include "platform/ProgramPaths.h"

namespace qm {

namespace {
constexpr const char* kRootLockFolder = "/run/quillmoor98";

// A folder that only user may create files in, reached without a link of
// anybody else's.
bool PrivateFolder(const std::string& path, uid_t user) {
  if (path.empty() || path.front() != '/') return false;
  std::string why;
  const FileDescriptor folder = OpenTrusted(path, O_PATH | O_DIRECTORY, FolderRule::kAny, why);
  struct stat st {};
  return folder.Valid() && ::fstat(folder.Get(), &st) == 0 && st.st_uid == user &&
         (st.st_mode & 022) == 0;
}

bool PrivateFolderFromEnvironment(const char* variable, uid_t user, std::string& folder) {
  const char* value = std::getenv(variable);
  if (!value || !PrivateFolder(value, user)) return false;
  folder = value;
  return true;
}
}  // namespace

std::string InstanceName(const std::string& programFile) {
  std::string name = programFile.substr(programFile.find_last_of('/') + 1);
  name = name.substr(0, name.find('.'));
  for (std::size_t i = 1; i < name.size(); ++i) {
    if (name[i] >= 'A' && name[i] <= 'Z') name[i] = static_cast<char>(name[i] - 'A' + 'a');
  }
  return name;
}

std::string SingleInstance::LockPathFor(const std::string& name, uid_t user) {
  const std::string base = name.empty() ? std::string("quillmoor98") : name;
  std::string folder;
  if (PrivateFolderFromEnvironment("RUNTIME_DIRECTORY", user, folder) ||
      PrivateFolderFromEnvironment("XDG_RUNTIME_DIR", user, folder)) {
    return folder + "/" + base + ".lock";
  }
  if (user == 0) {
    ::mkdir(kRootLockFolder, 0700);
    if (PrivateFolder(kRootLockFolder, user))
      return std::string(kRootLockFolder) + "/" + base + ".lock";
  }
  return "/tmp/" + base + "-" + std::to_string(user) + ".lock";
}

SingleInstance::~SingleInstance() {
  if (fd_ >= 0) ::close(fd_);
  if (folderFd_ >= 0) ::close(folderFd_);
}

SingleInstance::Result SingleInstance::AcquireDataFolder(const std::string& folder,
                                                         std::string& error) {
  const std::string path = JoinPath(folder, kDataFolderLockName);
  std::string why;
  const int fd =
      OpenTrusted(path, O_RDONLY | O_CREAT | O_NONBLOCK, FolderRule::kAny, why, DataFileMode(path))
          .Release();
  if (fd < 0) {
    error = "cannot open " + path + ": " + why;
    return Result::kError;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "cannot use " + path + ": it is not a regular file";
    ::close(fd);
    return Result::kError;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int saved = errno;
    ::close(fd);
    if (saved == EWOULDBLOCK) return Result::kAlreadyRunning;
    error = "cannot lock " + path + ": " + std::strerror(saved);
    return Result::kError;
  }
  if (folderFd_ >= 0) ::close(folderFd_);
  folderFd_ = fd;
  return Result::kFirst;
}

SingleInstance::Result SingleInstance::Acquire(const std::string& name, std::string& error) {
  const uid_t user = ::geteuid();
  path_ = LockPathFor(name, user);
  // A link planted in a shared folder, or on the way to ours, must not
  // redirect us; the lock's folder is one nobody else may write.
  std::string why;
  const FileDescriptor folder = OpenOwnFolder(FolderOf(path_), false, why);
  const std::string file = path_.substr(path_.find_last_of('/') + 1);
  fd_ = folder.Valid() ? ::openat(folder.Get(), file.c_str(),
                                  O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600)
                       : -1;
  if (fd_ < 0) {
    error = "cannot open " + path_ + ": " + (folder.Valid() ? std::strerror(errno) : why);
    return Result::kError;
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != user) {
    error = "cannot use " + path_ + ": it is not a file of this user";
    ::close(fd_);
    fd_ = -1;
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
