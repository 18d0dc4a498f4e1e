// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "os/TrustedPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>

namespace qm {

namespace {
// As many links as the kernel follows in one path.
constexpr int kMaxLinks = 40;

bool TrustedOwner(uid_t user) {
  return user == 0 || user == ::geteuid();
}

FileDescriptor Refused(std::string& why, std::string text, int error = EPERM) {
  why = std::move(text);
  errno = error;
  return {};
}

std::string Failure(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + std::strerror(error);
}

// The names of path in order; "" and "." left out.
void PushNames(std::deque<std::string>& names, const std::string& path) {
  std::deque<std::string> parts;
  for (std::size_t at = 0; at <= path.size();) {
    std::size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    std::string name = path.substr(at, end - at);
    if (!name.empty() && name != ".") parts.push_back(std::move(name));
    at = end + 1;
  }
  names.insert(names.begin(), parts.begin(), parts.end());
}

std::string Shown(const std::string& walked) {
  return walked.empty() ? "/" : walked;
}

bool NobodyElseWrites(const struct stat& st, const std::string& shown, std::string& why) {
  if (!TrustedOwner(st.st_uid)) {
    why = shown + " belongs to user " + std::to_string(st.st_uid);
    return false;
  }
  // A sticky folder lets nobody remove or rename what another user owns.
  if (S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) return true;
  if (st.st_mode & S_IWOTH) {
    why = shown + " is writable by every user";
    return false;
  }
  if ((st.st_mode & S_IWGRP) && st.st_gid != 0) {
    why = shown + " is writable by group " + std::to_string(st.st_gid);
    return false;
  }
  return true;
}

bool ReadLinkAt(int linkFd, std::string& target) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlinkat(linkFd, "", buffer, sizeof buffer);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof buffer) return false;
  target.assign(buffer, static_cast<std::size_t>(n));
  return true;
}
}  // namespace

FileDescriptor OpenTrusted(const std::string& path, int flags, FolderRule rule, std::string& why,
                           mode_t mode) {
  why.clear();
  if (path.empty()) return Refused(why, "no path given", ENOENT);
  std::string absolute = path;
  if (path.front() != '/') {
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return Refused(why, Failure("cannot open", path, errno), errno);
    absolute = std::string(cwd) + "/" + path;
  }
  const bool strict = rule == FolderRule::kNobodyElseWrites;
  std::deque<std::string> names;
  PushNames(names, absolute);
  std::string walked;  // the folder reached, as a path, for the messages
  struct stat st {};
  FileDescriptor folder;
  auto openRoot = [&]() {
    folder.Reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    walked.clear();
    if (!folder.Valid() || (strict && ::fstat(folder.Get(), &st) != 0)) {
      why = Failure("cannot open", "/", errno);
      return false;
    }
    return !strict || NobodyElseWrites(st, "/", why);
  };
  if (!openRoot()) return Refused(why, why);
  int links = 0;
  while (!names.empty()) {
    const std::string name = names.front();
    names.pop_front();
    const bool last = names.empty();
    const std::string next =
        name == ".." ? walked.substr(0, walked.find_last_of('/')) : walked + "/" + name;
    FileDescriptor entry(::openat(folder.Get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!entry.Valid()) {
      if (!(last && errno == ENOENT && (flags & O_CREAT))) {
        return Refused(why, Failure("cannot open", Shown(next), errno), errno);
      }
    } else if (::fstat(entry.Get(), &st) != 0) {
      return Refused(why, Failure("cannot open", Shown(next), errno), errno);
    } else if (S_ISLNK(st.st_mode)) {
      if (!TrustedOwner(st.st_uid)) {
        return Refused(why, "will not follow the symbolic link " + next + ": it belongs to user " +
                                std::to_string(st.st_uid));
      }
      std::string target;
      if (++links > kMaxLinks || !ReadLinkAt(entry.Get(), target)) {
        return Refused(why, Failure("cannot follow", next, ELOOP), ELOOP);
      }
      PushNames(names, target);
      if (!target.empty() && target.front() == '/' && !openRoot()) return Refused(why, why);
      // A link to "." or "" leaves the folder as it is: nothing more to
      // open when it was the last name.
      if (names.empty()) return FileDescriptor(::openat(folder.Get(), ".", flags | O_CLOEXEC));
      continue;
    } else if (!last) {
      if (!S_ISDIR(st.st_mode)) return Refused(why, Shown(next) + " is not a folder", ENOTDIR);
      if (strict && !NobodyElseWrites(st, Shown(next), why)) return Refused(why, why);
      folder = std::move(entry);
      walked = next;
      continue;
    }
    // The last name, no link: opened as asked, and never through a link
    // put there since it was looked at.
    FileDescriptor file(::openat(folder.Get(), name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!file.Valid()) return Refused(why, Failure("cannot open", Shown(next), errno), errno);
    if (strict && (::fstat(file.Get(), &st) != 0 || !NobodyElseWrites(st, Shown(next), why))) {
      return Refused(why, why.empty() ? Failure("cannot open", Shown(next), errno) : why);
    }
    return file;
  }
  // The path named "/" itself.
  return FileDescriptor(::openat(folder.Get(), ".", flags | O_CLOEXEC));
}

std::string TrustedRealPath(const std::string& path) {
  std::string why;
  const FileDescriptor fd = OpenTrusted(path, O_PATH, FolderRule::kAny, why);
  if (!fd.Valid()) return {};
  char buffer[PATH_MAX];
  const std::string self = "/proc/self/fd/" + std::to_string(fd.Get());
  const ssize_t n = ::readlink(self.c_str(), buffer, sizeof buffer);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer || buffer[0] != '/') return {};
  return std::string(buffer, static_cast<std::size_t>(n));
}

FileDescriptor OpenOwnFolder(const std::string& path, bool create, std::string& why) {
  struct stat st {};
  FileDescriptor folder = OpenTrusted(path, O_PATH | O_DIRECTORY, FolderRule::kAny, why);
  if (!folder.Valid() && errno == ENOENT && create) {
    const std::size_t slash = path.find_last_of('/');
    const std::string parentPath =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const FileDescriptor parent =
        OpenTrusted(parentPath, O_PATH | O_DIRECTORY, FolderRule::kAny, why);
    if (!parent.Valid()) return {};
    // A folder made where somebody else may rename it is not ours to keep.
    if (::fstat(parent.Get(), &st) != 0 || !NobodyElseWrites(st, parentPath, why)) {
      return Refused(why, why.empty() ? Failure("cannot open", parentPath, errno) : why);
    }
    if (::mkdirat(parent.Get(), name.c_str(), 0700) != 0 && errno != EEXIST) {
      return Refused(why, Failure("cannot create the folder", path, errno), errno);
    }
    folder.Reset(
        ::openat(parent.Get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.Valid()) return Refused(why, Failure("cannot open", path, errno), errno);
  }
  if (!folder.Valid()) return {};
  if (::fstat(folder.Get(), &st) != 0) return Refused(why, Failure("cannot open", path, errno));
  if (!NobodyElseWrites(st, path, why)) return Refused(why, why);
  return folder;
}

std::string PathUnderDescriptor(int folderFd, const std::string& name) {
  return "/proc/self/fd/" + std::to_string(folderFd) + "/" + name;
}

}  // namespace qm
