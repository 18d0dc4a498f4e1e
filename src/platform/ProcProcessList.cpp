#include "platform/ProcProcessList.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "core/Text.h"

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

// realpath(3) as a string; empty when the file does not exist.
std::string RealPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return {};
  std::string out = resolved;
  std::free(resolved);
  return out;
}

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
}  // namespace

std::string ProcProcessList::ResolvedProgram(const std::string& listed) {
  std::string resolved = RealPath(listed);
  if (resolved.empty()) resolved = RealPath(MatchCase(listed));
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
        return RealPath(dir + "/" + argument);
      }
    }
    return {};
  }
  return RealPath(interpreter);
}

bool ProcProcessList::ScriptArgument(std::uint32_t processId, std::string& script) {
  const std::string base = root_ + "/" + std::to_string(processId);
  const std::string cmdline = ReadSmall(base + "/cmdline", 8192);
  std::vector<std::string> args;
  for (std::size_t at = 0; at < cmdline.size() && args.size() < 4;) {
    const std::size_t end = cmdline.find('\0', at);
    args.push_back(cmdline.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  // An interpreter's options come first ("python3 -u script", the "#!"
  // line's one argument); the script follows them.
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i].empty() || args[i].front() == '-') continue;
    std::string path = args[i];
    if (path.front() != '/') {
      std::string cwd(4096, '\0');
      const ssize_t n = ::readlink((base + "/cwd").c_str(), cwd.data(), cwd.size());
      if (n <= 0 || static_cast<std::size_t>(n) >= cwd.size()) return false;
      cwd.resize(static_cast<std::size_t>(n));
      path = cwd + "/" + path;
    }
    script = RealPath(path);
    return !script.empty();
  }
  return false;
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
  const std::size_t fit = std::min<std::size_t>(all.size(), bytes / sizeof(std::uint32_t));
  std::copy_n(all.begin(), fit, ids);
  bytesReturned = static_cast<std::uint32_t>(fit * sizeof(std::uint32_t));
  return true;
}

bool ProcProcessList::ExecutablePath(std::uint32_t processId, std::string& path) {
  const std::string link = root_ + "/" + std::to_string(processId) + "/exe";
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (n < 0) return false;
    // A result that fills the buffer may have been cut: try a larger one.
    if (static_cast<std::size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(n));
      path = std::move(buffer);
      return true;
    }
    if (buffer.size() >= 65536) return false;
    buffer.resize(buffer.size() * 2);
  }
}

std::unique_ptr<ProcessSnapshot> ProcProcessList::CreateSnapshot() {
  std::vector<std::uint32_t> ids;
  if (!ProcessIds(ids)) return nullptr;
  return std::make_unique<ProcSnapshot>(*this, std::move(ids));
}

}  // namespace qm
