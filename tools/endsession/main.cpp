// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// quillmoor98-end-session PID: ends the client sessions that the smbd
// process PID serves (smbcontrol PID shutdown), after checking that PID is
// a client smbd of this computer's Samba server. On a cluster node (Samba's
// smb.conf says clustering = yes), quillmoor98-end-session NODE:PID ends
// those of another node's process (smbcontrol NODE:PID shutdown), after
// checking that NODE is a node of the cluster and not this one; that
// node's processes cannot be looked at from here. Runs as root through
// sudo for members of the group quillmoor98, so it trusts nothing it is
// given: one argument of digits, Samba's own smb.conf, Samba's and CTDB's
// tools from the system folders, no environment.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "os/ProcessRunner.h"
#include "platform/samba/SambaClusterNode.h"
#include "platform/samba/SmbdProcess.h"

namespace {
constexpr int kUsage = 2;
constexpr int kRefused = 3;
constexpr const char* kToolFolders[] = {"/usr/bin", "/usr/sbin", "/bin", "/sbin"};

std::string SystemTool(const char* name) {
  for (const char* folder : kToolFolders) {
    const std::string tool = std::string(folder) + "/" + name;
    if (::access(tool.c_str(), X_OK) == 0) return tool;
  }
  return {};
}

// A system tool's output, "" when it is missing or fails.
std::string Output(const char* name, const std::vector<std::string>& arguments) {
  const std::string tool = SystemTool(name);
  if (tool.empty()) return {};
  std::vector<std::string> argv = {tool};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const qm::ProcessResult run = qm::ProcessRunner::Run(argv);
  return run.Succeeded() ? run.out : std::string();
}

// Whether another node's process may be ended from here; why when not.
bool CheckOtherNode(std::int64_t node, std::string& why) {
  if (!qm::SambaClusterNode::Yes(Output("testparm", {"-s", "--parameter-name=clustering"}))) {
    why = "this server is not a cluster node (smb.conf does not say clustering = yes)";
    return false;
  }
  const std::int64_t self = qm::SambaClusterNode::ParsePnn(Output("ctdb", {"pnn"}));
  if (self < 0) {
    why = "ctdb does not tell this node's number";
    return false;
  }
  if (node == self) {
    why = "node " + std::to_string(node) + " is this one: give the process id alone";
    return false;
  }
  // One line per node, numbered from 0.
  const std::string nodes = Output("ctdb", {"listnodes"});
  std::int64_t count = 0;
  for (char c : nodes) count += c == '\n';
  if (node >= count) {
    why = "the cluster has no node " + std::to_string(node);
    return false;
  }
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  long pid = 0;
  std::int64_t node = -1;
  const std::string argument = argc == 2 ? argv[1] : "";
  const bool local = qm::SmbdProcess::ParsePid(argument, pid);
  if (!local && !qm::SambaClusterNode::ParseDestination(argument, node, pid)) {
    std::fprintf(stderr,
                 "usage: quillmoor98-end-session PID (1 to 7 digits)\n"
                 "       quillmoor98-end-session NODE:PID (another cluster node's process)\n");
    return kUsage;
  }
  std::string why;
  if (local ? !qm::SmbdProcess::Check(pid, why) : !CheckOtherNode(node, why)) {
    std::fprintf(stderr, "quillmoor98-end-session: refused: %s\n", why.c_str());
    return kRefused;
  }
  const std::string destination =
      local ? std::to_string(pid) : qm::SambaClusterNode::Destination(node, pid);
  const std::string tool = SystemTool("smbcontrol");
  if (tool.empty()) {
    std::fprintf(stderr, "quillmoor98-end-session: smbcontrol is not installed\n");
    return 1;
  }
  char* const environment[] = {const_cast<char*>("PATH=/usr/bin:/bin"), nullptr};
  char* const args[] = {const_cast<char*>("smbcontrol"), const_cast<char*>(destination.c_str()),
                        const_cast<char*>("shutdown"), nullptr};
  ::execve(tool.c_str(), args, environment);
  std::perror(("quillmoor98-end-session: " + tool).c_str());
  return 1;
}
