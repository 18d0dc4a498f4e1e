// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <sys/types.h>

#include <string>

namespace qm {

// The instance name of a program file: its name without the folder and
// without everything from its first "." on, every character after the
// first lower-cased ("/opt/MYPROG.EXE" gives "Myprog").
std::string InstanceName(const std::string& programFile);

// Holds an advisory lock on a file named after the program for the life of
// the process. The kernel releases it when the process dies, so a crash
// never blocks the next start. The file lives where no other user can
// create it first (see LockPath): another user's file would let them
// refuse our start with "Instance already running!".
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

  // The same guard on a data folder: every copy that keeps its files in
  // folder (the service and a member's desktop program, each with its own
  // runtime folder) is one instance, whatever its program file is named.
  // The lock file is hidden in folder and shared with the folder's group.
  Result AcquireDataFolder(const std::string& folder, std::string& error);
  static constexpr const char* kDataFolderLockName = ".quillmoor98.lock";

  // Where the lock file of name lives for this process: in the service's
  // $RUNTIME_DIRECTORY, else $XDG_RUNTIME_DIR, each only when it is a
  // folder of ours that nobody else may write; else, for root,
  // /run/quillmoor98 (made when missing); else /tmp, with the user id in
  // the file's name (the file must then be ours).
  static std::string LockPathFor(const std::string& name, uid_t user);

 private:
  int fd_ = -1;
  int folderFd_ = -1;
  std::string path_;
};

}  // namespace qm
