// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "os/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

#include "os/FileDescriptor.h"
#include "os/TrustedPath.h"

namespace qm {

namespace {
constexpr char kTempAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kTempSuffixLength = 6;
// A save's temporary file is ".<name>" + kTempMarker + six letters or
// digits: hidden, and marked as ours, so no file of the administrator's
// ("Tree.dat.backup", "Tree.dat.202412") can ever look like one.
constexpr std::string_view kTempMarker = ".quillmoor98-save.";

std::string Describe(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + std::strerror(error);
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string TempPathFor(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, name) + "." + path.substr(name) + std::string(kTempMarker);
}

std::string TempSuffix() {
  unsigned char bytes[kTempSuffixLength];
  if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    // No entropy yet: any distinct name does, O_EXCL guards it.
    const auto seed =
        static_cast<unsigned long>(::getpid()) ^ static_cast<unsigned long>(::clock());
    for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(seed >> i);
  }
  std::string suffix;
  for (unsigned char b : bytes) suffix += kTempAlphabet[b % (sizeof kTempAlphabet - 1)];
  return suffix;
}

bool IsTempSuffix(const std::string& text) {
  if (text.size() != kTempSuffixLength) return false;
  for (char c : text) {
    if (!std::strchr(kTempAlphabet, c) || c == '\0') return false;
  }
  return true;
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}
}  // namespace

mode_t DataFileMode(const std::string& path) {
  struct stat st {};
  if (::stat(FolderOf(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISGID)) {
    return kGroupFileMode;
  }
  return kPrivateFileMode;
}

namespace {
// name is relative to folderFd (AT_FDCWD: the working folder); shown is
// the path the messages name.
bool WriteAt(int folderFd, const std::string& name, const std::string& shown,
             const std::string& data, std::string& error, mode_t mode) {
  // The kernel narrows the mode by the umask; the special bits never come
  // from us.
  mode &= 0777;
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tmp = TempPathFor(name) + TempSuffix();
    fd =
        ::openat(folderFd, tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) break;
  }
  // Held while the save runs: a start-up that cleans up leftovers leaves a
  // locked temporary file alone (another copy of the program writes it).
  if (fd >= 0) ::flock(fd, LOCK_EX);
  if (fd < 0) {
    error = Describe("Cannot create file", shown, errno);
    return false;
  }
  if (!WriteAll(fd, data) || ::fsync(fd) != 0) {
    error = Describe("Cannot write file", shown, errno);
    ::close(fd);
    ::unlinkat(folderFd, tmp.c_str(), 0);
    return false;
  }
  if (::close(fd) != 0) {
    error = Describe("Cannot write file", shown, errno);
    ::unlinkat(folderFd, tmp.c_str(), 0);
    return false;
  }
  if (::renameat(folderFd, tmp.c_str(), folderFd, name.c_str()) != 0) {
    error = Describe("Cannot create file", shown, errno);
    ::unlinkat(folderFd, tmp.c_str(), 0);
    return false;
  }
  return true;
}
}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& data, std::string& error,
                         mode_t mode) {
  return WriteAt(AT_FDCWD, path, path, data, error, mode);
}

bool WriteFileAtomicallyAt(int folderFd, const std::string& name, const std::string& shown,
                           const std::string& data, std::string& error, mode_t mode) {
  if (name.empty() || name.find('/') != std::string::npos) {
    error = Describe("Cannot create file", shown, EINVAL);
    return false;
  }
  return WriteAt(folderFd, name, shown, data, error, mode);
}

namespace {
// Reads the regular file fd has open (closing it); path for the messages.
FileRead ReadOpened(int fd, const std::string& path, std::string& data, std::string& error,
                    std::size_t maxBytes) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = Describe("Cannot open file", path, errno);
    ::close(fd);
    return FileRead::kRefused;
  }
  if (!S_ISREG(st.st_mode)) {
    error = "Cannot open file " + path + ": it is not a regular file";
    ::close(fd);
    return FileRead::kRefused;
  }
  const std::string tooLarge =
      "Cannot open file " + path + ": larger than " + std::to_string(maxBytes) + " bytes";
  if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
    error = tooLarge;
    ::close(fd);
    return FileRead::kRefused;
  }
  data.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = Describe("Cannot open file", path, errno);
      ::close(fd);
      data.clear();
      return FileRead::kRefused;
    }
    if (n == 0) break;
    // The file may grow while it is read.
    if (data.size() + static_cast<std::size_t>(n) > maxBytes) {
      error = tooLarge;
      ::close(fd);
      data.clear();
      return FileRead::kRefused;
    }
    data.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return FileRead::kRead;
}
}  // namespace

FileRead ReadDataFile(const std::string& path, std::string& data, std::string& error,
                      std::size_t maxBytes) {
  data.clear();
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused
  // below anyway.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return FileRead::kMissing;
    error = errno == ELOOP ? "Cannot open file " + path + ": it is a symbolic link"
                           : Describe("Cannot open file", path, errno);
    return FileRead::kRefused;
  }
  return ReadOpened(fd, path, data, error, maxBytes);
}

bool ReadTrustedFile(const std::string& path, std::string& data, std::string& error,
                     std::size_t maxBytes) {
  data.clear();
  std::string why;
  FileDescriptor fd =
      OpenTrusted(path, O_RDONLY | O_NONBLOCK | O_NOCTTY, FolderRule::kNobodyElseWrites, why);
  if (!fd.Valid()) {
    const int saved = errno;
    error = saved == EPERM ? "Cannot open file " + path + ": refused, " + why +
                                 " (only root and the user it runs as may be able to change a"
                                 " file that grants access)"
                           : Describe("Cannot open file", path, saved);
    return false;
  }
  return ReadOpened(fd.Release(), path, data, error, maxBytes) == FileRead::kRead;
}

bool ReadWholeFile(const std::string& path, std::string& data, std::string& error,
                   std::size_t maxBytes, bool followLinks) {
  std::string target = path;
  if (followLinks) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved)) target = resolved;
  }
  switch (ReadDataFile(target, data, error, maxBytes)) {
    case FileRead::kRead:
      return true;
    case FileRead::kMissing:
      error = Describe("Cannot open file", path, ENOENT);
      return false;
    case FileRead::kRefused:
      break;
  }
  return false;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> RemoveStaleTemporaryFiles(const std::string& folder,
                                                   const std::vector<std::string>& names,
                                                   std::chrono::seconds minAge) {
  std::vector<std::string> removed;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return removed;
  const std::time_t now = std::time(nullptr);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    bool ours = false;
    for (const std::string& base : names) {
      const std::string prefix = "." + base + std::string(kTempMarker);
      ours = ours || (name.size() == prefix.size() + kTempSuffixLength &&
                      name.compare(0, prefix.size(), prefix) == 0 &&
                      IsTempSuffix(name.substr(prefix.size())));
    }
    if (!ours) continue;
    const std::string path = folder + "/" + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (now - st.st_mtime < minAge.count()) continue;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.c_str()) == 0) removed.push_back(path);
    ::close(fd);
  }
  ::closedir(dir);
  return removed;
}

}  // namespace qm
