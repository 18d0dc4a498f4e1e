#include "platform/samba/ClientSmbdProcess.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

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

long ParentOf(long pid) {
  std::ifstream in(ProcPath(pid, "stat"));
  std::string line;
  if (!std::getline(in, line)) return -1;
  // "pid (comm) state ppid ...": comm may hold blanks and parentheses.
  const std::size_t close = line.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream rest(line.substr(close + 1));
  std::string state;
  long parent = -1;
  rest >> state >> parent;
  return parent;
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

bool ClientSmbdProcess::ParsePid(const std::string& text, long& pid) {
  if (text.empty() || text.size() > 7) return false;
  pid = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    pid = pid * 10 + (c - '0');
  }
  return pid > 0;
}

bool ClientSmbdProcess::Check(long pid, std::string& why) {
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
  const long parent = ParentOf(pid);
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
