// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "control/ControlSocket.h"

#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qm {

namespace {
std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
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
  if (const std::string dir = Environment("XDG_RUNTIME_DIR"); !dir.empty()) {
    return dir + "/quillmoor98/control";
  }
  return ::geteuid() == 0 ? kServicePath : "";
}

std::string ControlSocket::ClientPath() {
  if (const std::string path = Environment("QUILLMOOR98_CONTROL"); !path.empty()) return path;
  if (const std::string dir = Environment("XDG_RUNTIME_DIR"); !dir.empty()) {
    const std::string own = dir + "/quillmoor98/control";
    if (Exists(own)) return own;
  }
  return kServicePath;
}

int ControlSocket::Listen(const std::string& path, std::string& error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    error = "the control socket's path must have 1 to " +
            std::to_string(sizeof address.sun_path - 1) + " bytes: " + path;
    return -1;
  }
  std::memcpy(address.sun_path, path.data(), path.size());
  // The folder of the default path: private to its owner.
  if (const auto slash = path.find_last_of('/'); slash != std::string::npos && slash > 0) {
    const std::string folder = path.substr(0, slash);
    if (!Exists(folder) && ::mkdir(folder.c_str(), 0700) != 0) {
      error = Failure("cannot create the folder", folder);
      return -1;
    }
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = Failure("cannot make the control socket", path);
    return -1;
  }
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
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
    ::unlink(path.c_str());
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
    if (const group* g = ::getgrnam(kGroup); g && ::chown(path.c_str(), 0, g->gr_gid) == 0) {
      mode = 0660;
    }
  }
  if (::chmod(path.c_str(), mode) != 0 || ::listen(fd, 16) != 0 ||
      ::lstat(path.c_str(), &st) != 0) {
    error = Failure("cannot listen at", path);
    ::unlink(path.c_str());
    ::close(fd);
    return -1;
  }
  path_ = path;
  device_ = st.st_dev;
  inode_ = st.st_ino;
  return fd;
}

void ControlSocket::Remove() {
  struct stat st {};
  if (!path_.empty() && ::lstat(path_.c_str(), &st) == 0 && st.st_dev == device_ &&
      st.st_ino == inode_) {
    ::unlink(path_.c_str());
  }
  path_.clear();
}

}  // namespace qm
