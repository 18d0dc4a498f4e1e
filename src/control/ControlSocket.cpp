// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "control/ControlSocket.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "os/TrustedPath.h"

namespace qm {

namespace {
std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// A folder of the running user's, reached without a link of anybody else's.
bool OwnFolder(const std::string& path) {
  std::string why;
  const FileDescriptor folder = OpenTrusted(path, O_PATH | O_DIRECTORY, FolderRule::kAny, why);
  struct stat st {};
  return folder.Valid() && ::fstat(folder.Get(), &st) == 0 && st.st_uid == ::geteuid();
}

std::string Failure(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}
}  // namespace

std::string ControlSocket::HowToJoinGroup(const std::string& user) {
  return std::string("sudo adduser ") + user + " " + kGroup + ", then log in again";
}

std::string ControlSocket::HowToJoinGroup() {
  const passwd* entry = ::getpwuid(::getuid());
  return HowToJoinGroup(entry && entry->pw_name && *entry->pw_name ? std::string(entry->pw_name)
                                                                   : "$USER");
}

std::string ControlSocket::DefaultPath() {
  if (const std::string dir = Environment("RUNTIME_DIRECTORY"); !dir.empty()) {
    // systemd may name several folders; the first is ours.
    return dir.substr(0, dir.find(':')) + "/control";
  }
  // Another user's runtime folder (root's console after su, sudo -E) is
  // refused by Listen, with its reason.
  if (const std::string dir = Environment("XDG_RUNTIME_DIR"); !dir.empty()) {
    return dir + "/quillmoor98/control";
  }
  return ::geteuid() == 0 ? kServicePath : "";
}

std::string ControlSocket::ClientPath() {
  if (const std::string path = Environment("QUILLMOOR98_CONTROL"); !path.empty()) return path;
  if (const std::string dir = Environment("XDG_RUNTIME_DIR"); !dir.empty() && OwnFolder(dir)) {
    const std::string own = dir + "/quillmoor98/control";
    std::string why;
    const FileDescriptor folder = OpenOwnFolder(dir + "/quillmoor98", false, why);
    struct stat st {};
    if (folder.Valid() && ::fstatat(folder.Get(), "control", &st, AT_SYMLINK_NOFOLLOW) == 0) {
      return own;
    }
  }
  return kServicePath;
}

int ControlSocket::Listen(const std::string& path, std::string& error) {
  const auto slash = path.find_last_of('/');
  const std::string folderPath =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || path.size() >= sizeof(sockaddr_un{}.sun_path)) {
    error = "the control socket's path must have 1 to " +
            std::to_string(sizeof(sockaddr_un{}.sun_path) - 1) + " bytes: " + path;
    return -1;
  }
  // The folder is reached without a link somebody else planted, and is
  // one nobody else may write (made, private to its owner, when missing):
  // the socket and its removal then stay where they were meant to be.
  std::string why;
  FileDescriptor folder = OpenOwnFolder(folderPath, true, why);
  if (!folder.Valid()) {
    error = "will not listen at " + path + ": " + why;
    return -1;
  }
  // Every call below goes through the folder as opened.
  const std::string under = PathUnderDescriptor(folder.Get(), name);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (under.size() >= sizeof address.sun_path) {
    error = "the control socket's name is too long: " + path;
    return -1;
  }
  std::memcpy(address.sun_path, under.data(), under.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = Failure("cannot make the control socket", path);
    return -1;
  }
  struct stat st {};
  if (::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      errno = EEXIST;
      error = Failure("will not replace", path);
      ::close(fd);
      return -1;
    }
    // Somebody answers there: another copy of the program serves it.
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool live = probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr*>(&address),
                                              sizeof address) == 0;
    if (probe >= 0) ::close(probe);
    if (live) {
      errno = EADDRINUSE;
      error = Failure("another program serves", path);
      ::close(fd);
      return -1;
    }
    ::unlinkat(folder.Get(), name.c_str(), 0);
  }
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = Failure("cannot bind", path);
    ::close(fd);
    return -1;
  }
  // Nobody can connect before listen(): the mode and group are in place
  // first.
  mode_t mode = 0600;
  if (::geteuid() == 0) {
    if (const group* g = ::getgrnam(kGroup);
        g && ::fchownat(folder.Get(), name.c_str(), 0, g->gr_gid, AT_SYMLINK_NOFOLLOW) == 0) {
      mode = 0660;
    }
  }
  if (::fchmodat(folder.Get(), name.c_str(), mode, 0) != 0 || ::listen(fd, 16) != 0 ||
      ::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    error = Failure("cannot listen at", path);
    ::unlinkat(folder.Get(), name.c_str(), 0);
    ::close(fd);
    return -1;
  }
  path_ = path;
  name_ = name;
  folder_ = std::move(folder);
  device_ = st.st_dev;
  inode_ = st.st_ino;
  return fd;
}

void ControlSocket::Remove() {
  struct stat st {};
  if (folder_.Valid() && ::fstatat(folder_.Get(), name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      st.st_dev == device_ && st.st_ino == inode_) {
    ::unlinkat(folder_.Get(), name_.c_str(), 0);
  }
  folder_.Close();
  path_.clear();
}

}  // namespace qm
