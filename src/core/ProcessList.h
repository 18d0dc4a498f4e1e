// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qm {

// One walk over the processes running when the snapshot was taken.
class ProcessSnapshot {
 public:
  virtual ~ProcessSnapshot() = default;
  // The full path of the next process's executable; the first call gives
  // the first process. False when the walk is over. Processes whose
  // executable cannot be read are passed over.
  virtual bool Next(std::string& exeFile) = 0;
  // The id of the process Next gave last (0: not known).
  virtual std::uint32_t ProcessId() const { return 0; }
};

// The running processes of the local computer, in the two shapes the
// program watch asks for them.
class ProcessList {
 public:
  virtual ~ProcessList() = default;

  // Writes the ids of the running processes into ids, at most bytes / 4 of
  // them, and sets bytesReturned to the bytes written. A list that did not
  // fit is cut off, which the caller sees as bytesReturned == bytes. False
  // when the list cannot be obtained.
  virtual bool EnumProcesses(std::uint32_t* ids, std::uint32_t bytes,
                             std::uint32_t& bytesReturned) = 0;

  // The full path of a process's executable. False when the process cannot
  // be opened or its path cannot be read (gone, another user's, no file).
  virtual bool ExecutablePath(std::uint32_t processId, std::string& path) = 0;

  // A snapshot of the processes running now; null when none can be taken.
  virtual std::unique_ptr<ProcessSnapshot> CreateSnapshot() = 0;

  // The file a listed program names, as a process's executable path would
  // name it: links followed, and letters in another case matched to the
  // folders' own names (the list keeps its entries upper-cased). Empty when
  // no such file exists.
  virtual std::string ResolvedProgram(const std::string& /*listed*/) { return {}; }
  // The resolved interpreter a script names on its "#!" line (through env
  // too); empty for a file that is no script.
  virtual std::string ScriptInterpreter(const std::string& /*script*/) { return {}; }
  // The regular files a process has open now, by the paths the kernel
  // gives them: an interpreter keeps the script it runs among them (the
  // shells read it as they go). Never what the process's arguments spell,
  // which its user chooses freely. False when they cannot be read.
  virtual bool OpenFiles(std::uint32_t /*processId*/, std::vector<std::string>& /*files*/) {
    return false;
  }
};

}  // namespace qm
