#include "platform/samba/SmbdProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

namespace qm {

namespace {
std::string ProcPath(long pid, const char* what) {
  return "/proc/" + std::to_string(pid) + "/" + what;
}

// The program file's name ("smbd" also for a program file replaced by an
// upgrade, which the kernel shows as "... (deleted)").
std::string ProgramName(long pid) {
  char target[PATH_MAX];
  const ssize_t n = ::readlink(ProcPath(pid, "exe").c_str(), target, sizeof target - 1);
  if (n <= 0) return {};
  std::string path(target, static_cast<std::size_t>(n));
  const std::string deleted = " (deleted)";
  if (path.size() > deleted.size() &&
      path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
    path.resize(path.size() - deleted.size());
  }
  return path.substr(path.find_last_of('/') + 1);
}

bool IsSmbd(const SmbdProcess::State& p) {
  return p.comm.rfind("smbd", 0) == 0;
}

// A small file's first bytes; false with errno set when it cannot be read.
bool ReadSmallFile(const std::string& path, std::string& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) < 0 && errno == EINTR) {
  }
  const int error = errno;
  ::close(fd);
  if (n < 0) {
    errno = error;
    return false;
  }
  text.assign(buffer, static_cast<std::size_t>(n));
  return true;
}

std::set<std::string> SocketInodes(long pid) {
  std::set<std::string> inodes;
  const std::string folder = ProcPath(pid, "fd");
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return inodes;
  while (const dirent* entry = ::readdir(dir)) {
    char target[64];
    const ssize_t n = ::readlink((folder + "/" + entry->d_name).c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    const std::string link(target, static_cast<std::size_t>(n));
    if (link.rfind("socket:[", 0) == 0 && link.back() == ']') {
      inodes.insert(link.substr(8, link.size() - 9));
    }
  }
  ::closedir(dir);
  return inodes;
}

// An established TCP connection among the sockets, as the process's own
// network namespace lists them.
bool HoldsEstablishedTcp(long pid) {
  const std::set<std::string> inodes = SocketInodes(pid);
  if (inodes.empty()) return false;
  for (const char* table : {"net/tcp", "net/tcp6"}) {
    std::ifstream in(ProcPath(pid, table));
    std::string line;
    std::getline(in, line);  // the heading
    while (std::getline(in, line)) {
      // sl local remote st tx:rx tr:when retrnsmt uid timeout inode
      std::istringstream fields(line);
      std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
      fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
          timeout >> inode;
      if (state == "01" && inodes.count(inode)) return true;
    }
  }
  return false;
}
}  // namespace

SmbdProcess::State SmbdProcess::StateOf(long pid) {
  State p;
  std::string line;
  if (!ReadSmallFile(ProcPath(pid, "stat"), line)) {
    p.exists = errno != ENOENT && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
    return p;
  }
  // "pid (comm) state ppid ...": comm may hold blanks and parentheses.
  const std::size_t open = line.find('(');
  const std::size_t close = line.rfind(')');
  p.exists = true;
  if (open == std::string::npos || close == std::string::npos || close + 2 >= line.size()) {
    return p;
  }
  p.known = true;
  p.comm = line.substr(open + 1, close - open - 1);
  p.state = line[close + 2];
  p.parent = std::strtol(line.c_str() + close + 3, nullptr, 10);
  return p;
}

bool SmbdProcess::Alive(long pid) {
  const State p = StateOf(pid);
  if (!p.known) return p.exists;
  return p.state != 'Z' && p.state != 'X' && IsSmbd(p);
}

bool SmbdProcess::IsMain(long pid) {
  const State p = StateOf(pid);
  return p.known && IsSmbd(p) && !IsSmbd(StateOf(p.parent));
}

long SmbdProcess::MainPid(const std::string& pidDirectory, const std::string& conf) {
  // Unknown folder: leave the verdict to smbstatus.
  if (pidDirectory.empty()) return -1;
  std::vector<std::string> files = {pidDirectory + "/smbd.pid"};
  if (!conf.empty()) {
    // Some versions name the pid file after a configuration file that is
    // not the default one.
    files.push_back(pidDirectory + "/smbd-" + conf.substr(conf.rfind('/') + 1) + ".pid");
  }
  for (const auto& file : files) {
    std::string text;
    if (!ReadSmallFile(file, text)) {
      if (errno == ENOENT || errno == ENOTDIR) continue;
      return -1;
    }
    const long pid = std::strtol(text.c_str(), nullptr, 10);
    if (pid > 0 && Alive(pid)) return pid;
  }
  return 0;
}

bool SmbdProcess::ParsePid(const std::string& text, long& pid) {
  if (text.empty() || text.size() > 7) return false;
  pid = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    pid = pid * 10 + (c - '0');
  }
  return pid > 0;
}

bool SmbdProcess::Check(long pid, std::string& why) {
  const std::string subject = "process " + std::to_string(pid);
  if (pid <= 1 || pid == static_cast<long>(::getpid())) {
    why = subject + " is no client smbd";
    return false;
  }
  const std::string name = ProgramName(pid);
  if (name.empty()) {
    why = subject + " cannot be looked at: " + std::strerror(errno);
    return false;
  }
  if (name != "smbd") {
    why = subject + " runs " + name + ", not smbd";
    return false;
  }
  const State state = StateOf(pid);
  const long parent = state.known ? state.parent : -1;
  if (parent <= 1 || ProgramName(parent) != "smbd") {
    why = subject + " is the main smbd, which serves every client";
    return false;
  }
  if (!HoldsEstablishedTcp(pid)) {
    why = subject + " serves no client connection (one of smbd's helpers)";
    return false;
  }
  return true;
}

}  // namespace qm
