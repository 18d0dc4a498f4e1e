// quillmoor98-end-session PID: ends the client sessions that the smbd
// process PID serves (smbcontrol PID shutdown), after checking that PID is
// a client smbd of this computer's Samba server. Runs as root through sudo
// for members of the group quillmoor98, so it trusts nothing it is given:
// one argument of digits, Samba's own smb.conf, smbcontrol from the system
// folders, no environment.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/samba/SmbdProcess.h"

namespace {
constexpr int kUsage = 2;
constexpr int kRefused = 3;
constexpr const char* kToolFolders[] = {"/usr/bin", "/usr/sbin", "/bin", "/sbin"};
}  // namespace

int main(int argc, char** argv) {
  long pid = 0;
  if (argc != 2 || !qm::SmbdProcess::ParsePid(argv[1], pid)) {
    std::fprintf(stderr, "usage: quillmoor98-end-session PID (1 to 7 digits)\n");
    return kUsage;
  }
  std::string why;
  if (!qm::SmbdProcess::Check(pid, why)) {
    std::fprintf(stderr, "quillmoor98-end-session: refused: %s\n", why.c_str());
    return kRefused;
  }
  const std::string pidText = std::to_string(pid);
  char* const environment[] = {const_cast<char*>("PATH=/usr/bin:/bin"), nullptr};
  for (const char* folder : kToolFolders) {
    const std::string tool = std::string(folder) + "/smbcontrol";
    if (::access(tool.c_str(), X_OK) != 0) continue;
    char* const args[] = {const_cast<char*>("smbcontrol"), const_cast<char*>(pidText.c_str()),
                          const_cast<char*>("shutdown"), nullptr};
    ::execve(tool.c_str(), args, environment);
    std::perror(("quillmoor98-end-session: " + tool).c_str());
    return 1;
  }
  std::fprintf(stderr, "quillmoor98-end-session: smbcontrol is not installed\n");
  return 1;
}
