#pragma once

#include <string>

namespace qm {

// The instance name of a program file: its name without the folder and
// without everything from its first "." on, every character after the
// first lower-cased ("/opt/MYPROG.EXE" gives "Myprog").
std::string InstanceName(const std::string& programFile);

// Holds an advisory lock on a file named after the program in
// $XDG_RUNTIME_DIR (else /tmp) for the life of the process. The kernel
// releases it when the process dies, so a crash never blocks the next start.
class SingleInstance {
 public:
  SingleInstance() = default;
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  enum class Result { kFirst, kAlreadyRunning, kError };
  // error says why for kError (the program then runs without the guard).
  Result Acquire(const std::string& name, std::string& error);
  const std::string& LockPath() const { return path_; }

  // The folder the lock files live in.
  static std::string LockFolder();

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace qm
