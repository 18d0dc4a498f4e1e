// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/ProcProcessList.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "core/Text.h"
#include "os/FileDescriptor.h"
#include "os/TrustedPath.h"

namespace qm {

namespace {

// A folder name made of digits only, as a process id.
bool ParseProcessId(const char* name, std::uint32_t& id) {
  if (!*name) return false;
  std::uint64_t value = 0;
  for (const char* p = name; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(*p - '0');
    if (value > 0xFFFFFFFFu) return false;
  }
  id = static_cast<std::uint32_t>(value);
  return true;
}

class ProcSnapshot final : public ProcessSnapshot {
 public:
  ProcSnapshot(ProcProcessList& list, std::vector<std::uint32_t> ids)
      : list_(list), ids_(std::move(ids)) {}

  bool Next(std::string& exeFile) override {
    while (next_ < ids_.size()) {
      if (list_.ExecutablePath(ids_[next_++], exeFile)) return true;
    }
    return false;
  }
  std::uint32_t ProcessId() const override { return next_ > 0 ? ids_[next_ - 1] : 0; }

 private:
  ProcProcessList& list_;
  std::vector<std::uint32_t> ids_;
  std::size_t next_ = 0;
};

// path with each component that does not exist as written replaced by the
// folder's entry that differs from it only in the case of a to z.
std::string MatchCase(const std::string& path) {
  if (path.empty() || path.front() != '/') return {};
  std::string out;
  std::size_t at = 1;
  while (at <= path.size()) {
    std::size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(at, end - at);
    at = end + 1;
    if (part.empty()) continue;
    std::string next = out + "/" + part;
    struct stat st;
    if (::lstat(next.c_str(), &st) != 0) {
      DIR* dir = ::opendir(out.empty() ? "/" : out.c_str());
      if (!dir) return {};
      bool found = false;
      while (const dirent* e = ::readdir(dir)) {
        if (SameTextAsciiNoCase(e->d_name, part)) {
          next = out + "/" + e->d_name;
          found = true;
          break;
        }
      }
      ::closedir(dir);
      if (!found) return {};
    }
    out = std::move(next);
  }
  return out.empty() ? "/" : out;
}

std::string ReadSmall(const std::string& path, std::size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  std::string text(limit, '\0');
  const ssize_t n = ::read(fd, text.data(), limit);
  ::close(fd);
  text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return text;
}
// A symbolic link's target; false with errno set when it cannot be read.
bool ReadLinkDirectly(const std::string& link, std::string& target) {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (n < 0) return false;
    // A result that fills the buffer may have been cut: try a larger one.
    if (static_cast<std::size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(n));
      target = std::move(buffer);
      return true;
    }
    if (buffer.size() >= 65536) {
      errno = ENAMETOOLONG;
      return false;
    }
    buffer.resize(buffer.size() * 2);
  }
}

// The helper's whole answer, within its size and time limits.
bool ReadHelper(const std::string& socketPath, std::string& answer) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  const FileDescriptor helper(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!helper.Valid()) return false;
  const int fd = helper.Get();
  bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(ProcProcessList::kHelperTimeoutMs);
  char chunk[65536];
  while (ok) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
      ok = false;
      break;
    }
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0 || answer.size() + static_cast<std::size_t>(n) > ProcProcessList::kMaxHelperAnswer) {
      ok = false;
      break;
    }
    answer.append(chunk, static_cast<std::size_t>(n));
  }
  return ok;
}

}  // namespace

std::string ProcProcessList::ResolvedProgram(const std::string& listed) {
  std::string resolved = TrustedRealPath(listed);
  if (resolved.empty()) resolved = TrustedRealPath(MatchCase(listed));
  return resolved;
}

std::string ProcProcessList::ScriptInterpreter(const std::string& script) {
  struct stat st;
  if (::stat(script.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  const std::string head = ReadSmall(script, 256);
  if (head.rfind("#!", 0) != 0) return {};
  std::istringstream line(head.substr(2, head.find('\n') - 2));
  std::string interpreter, argument;
  line >> interpreter;
  // "#!/usr/bin/env NAME": the interpreter is NAME found on the path.
  if (interpreter.size() >= 4 && interpreter.compare(interpreter.size() - 4, 4, "/env") == 0) {
    while (line >> argument && argument.front() == '-') {
    }
    if (argument.empty() || argument.front() == '-') return {};
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path && *path ? path : "/usr/local/bin:/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
      if (!dir.empty() && ::access((dir + "/" + argument).c_str(), X_OK) == 0) {
        return TrustedRealPath(dir + "/" + argument);
      }
    }
    return {};
  }
  return TrustedRealPath(interpreter);
}

bool ProcProcessList::OpenFiles(std::uint32_t processId, std::vector<std::string>& files) {
  files.clear();
  if (ReadOpenFiles(root_ + "/" + std::to_string(processId) + "/fd", files)) return true;
  // A process that is gone has nothing to ask about.
  if (errno == ENOENT || errno == ESRCH) return false;
  const Links* links = HelperLinks(processId);
  if (!links) return false;
  files = links->files;
  return true;
}

bool ProcProcessList::ReadOpenFiles(const std::string& fdFolder, std::vector<std::string>& files) {
  files.clear();
  DIR* dir = ::opendir(fdFolder.c_str());
  if (!dir) return false;
  std::string path;
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    const std::string link = fdFolder + "/" + e->d_name;
    struct stat st;
    if (::stat(link.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    // Anything else ("pipe:[5]", a file outside the process's root) is
    // no path.
    if (!ReadProcessLink(link, path) || path.empty() || path.front() != '/') continue;
    files.push_back(path);
    if (files.size() >= kMaxOpenFiles) break;
  }
  ::closedir(dir);
  return true;
}

bool ProcProcessList::ReadProcessLink(const std::string& link, std::string& target) {
  if (!ReadLinkDirectly(link, target)) return false;
  static constexpr std::string_view kDeleted = " (deleted)";
  if (target.size() <= kDeleted.size() ||
      target.compare(target.size() - kDeleted.size(), kDeleted.size(), kDeleted) != 0) {
    return true;
  }
  // The kernel appends the words only to a file that has lost its name, so
  // a file that still has that whole name, and is the one open, is named
  // so. Otherwise the words are the kernel's.
  struct stat opened {};
  struct stat named {};
  if (::stat(link.c_str(), &opened) == 0 && ::stat(target.c_str(), &named) == 0 &&
      opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
    return true;
  }
  target.resize(target.size() - kDeleted.size());
  return true;
}

bool ProcProcessList::ProcessIds(std::vector<std::uint32_t>& ids) const {
  ids.clear();
  DIR* dir = ::opendir(root_.c_str());
  if (!dir) return false;
  while (const dirent* e = ::readdir(dir)) {
    std::uint32_t id = 0;
    if (ParseProcessId(e->d_name, id)) ids.push_back(id);
  }
  ::closedir(dir);
  return true;
}

bool ProcProcessList::EnumProcesses(std::uint32_t* ids, std::uint32_t bytes,
                                    std::uint32_t& bytesReturned) {
  bytesReturned = 0;
  std::vector<std::uint32_t> all;
  if (!ids || !ProcessIds(all)) return false;
  NewCheck();
  const std::size_t fit = std::min<std::size_t>(all.size(), bytes / sizeof(std::uint32_t));
  std::copy_n(all.begin(), fit, ids);
  bytesReturned = static_cast<std::uint32_t>(fit * sizeof(std::uint32_t));
  return true;
}

bool ProcProcessList::ExecutablePath(std::uint32_t processId, std::string& path) {
  return ReadLink(processId, "exe", path);
}

bool ProcProcessList::ReadLink(std::uint32_t processId, const char* name, std::string& target) {
  if (ReadProcessLink(root_ + "/" + std::to_string(processId) + "/" + name, target)) return true;
  // A process that is gone has nothing to ask about.
  if (errno == ENOENT || errno == ESRCH) return false;
  const Links* links = HelperLinks(processId);
  if (!links) return false;
  target = links->exe;
  return !target.empty();
}

const ProcProcessList::Links* ProcProcessList::HelperLinks(std::uint32_t processId) {
  if (helperSocket_.empty()) return nullptr;
  if (!helperAsked_) {
    helperAsked_ = true;
    std::string answer;
    if (!ReadHelper(helperSocket_, answer) || !ParseLinks(answer, helperLinks_)) {
      helperLinks_.clear();
    }
  }
  auto it = helperLinks_.find(processId);
  return it == helperLinks_.end() ? nullptr : &it->second;
}

std::string ProcProcessList::ListLinks(const std::string& root) {
  std::vector<std::uint32_t> ids;
  ProcProcessList(root).ProcessIds(ids);
  std::string out;
  std::string exe;
  std::vector<std::string> files;
  for (std::uint32_t id : ids) {
    const std::string base = root + "/" + std::to_string(id);
    if (!ReadProcessLink(base + "/exe", exe) || exe.empty()) continue;
    out.append(std::to_string(id)).push_back('\0');
    out.append(exe).push_back('\0');
    if (!ReadOpenFiles(base + "/fd", files)) continue;
    for (const std::string& file : files) out.append(file).push_back('\0');
  }
  return out;
}

bool ProcProcessList::ParseLinks(std::string_view text,
                                 std::unordered_map<std::uint32_t, Links>& links) {
  links.clear();
  if (!text.empty() && text.back() != '\0') return false;
  Links* current = nullptr;
  bool wantExe = false;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\0', at);
    const std::string_view field = text.substr(at, end - at);
    at = end + 1;
    if (wantExe) {
      if (field.empty()) break;
      current->exe = std::string(field);
      wantExe = false;
      continue;
    }
    if (current && !field.empty() && field.front() == '/' &&
        current->files.size() < kMaxOpenFiles) {
      current->files.emplace_back(field);
      continue;
    }
    std::uint32_t id = 0;
    if (!ParseProcessId(std::string(field).c_str(), id)) {
      current = nullptr;
      break;
    }
    current = &links[id];
    *current = Links{};
    wantExe = true;
  }
  if (!current || wantExe) {
    // Cut short, or not of that form; an empty answer is no process.
    const bool empty = text.empty();
    links.clear();
    return empty;
  }
  return true;
}

std::unique_ptr<ProcessSnapshot> ProcProcessList::CreateSnapshot() {
  std::vector<std::uint32_t> ids;
  if (!ProcessIds(ids)) return nullptr;
  NewCheck();
  return std::make_unique<ProcSnapshot>(*this, std::move(ids));
}

void ProcProcessList::NewCheck() {
  helperAsked_ = false;
  helperLinks_.clear();
}

}  // namespace qm
