// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/ProcessList.h"

namespace qm {

// The running processes as /proc shows them: every numeric folder is a
// process, and the link /proc/PID/exe names its executable. Reading another
// user's link (or a more privileged process's) takes CAP_SYS_PTRACE, which
// also lets a process write another's memory; the service goes without it
// and asks a confined helper, which has it and does only this reading, for
// the links it cannot read itself. Links nobody could read are passed over.
// What a link says is what the kernel says the process runs: a path its
// arguments spell or its working folder leads to is never taken.
class ProcProcessList final : public ProcessList {
 public:
  // root: the proc file system's mount point; tests may point elsewhere.
  // helperSocket: the helper's Unix socket ("": none).
  explicit ProcProcessList(std::string root = "/proc", std::string helperSocket = {})
      : root_(std::move(root)), helperSocket_(std::move(helperSocket)) {}

  bool EnumProcesses(std::uint32_t* ids, std::uint32_t bytes,
                     std::uint32_t& bytesReturned) override;
  bool ExecutablePath(std::uint32_t processId, std::string& path) override;
  std::unique_ptr<ProcessSnapshot> CreateSnapshot() override;
  std::string ResolvedProgram(const std::string& listed) override;
  std::string ScriptInterpreter(const std::string& script) override;
  bool OpenFiles(std::uint32_t processId, std::vector<std::string>& files) override;

  // The ids of the running processes, in the order the folder lists them.
  bool ProcessIds(std::vector<std::uint32_t>& ids) const;

  // The helper's answer: for every process whose links it could read,
  // "PID", the executable, then the regular files it has open (at most
  // kMaxOpenFiles), each ended by a zero byte (no path holds one). A file's
  // path starts with "/", an id never does.
  static std::string ListLinks(const std::string& root);
  struct Links {
    std::string exe;
    std::vector<std::string> files;
  };
  // The answer read back; false (and links empty) when it is cut or not of
  // that form.
  static bool ParseLinks(std::string_view text, std::unordered_map<std::uint32_t, Links>& links);
  // The most the helper may answer, and how long it may take.
  static constexpr std::size_t kMaxHelperAnswer = std::size_t{32} << 20;
  static constexpr int kHelperTimeoutMs = 500;
  static constexpr std::size_t kMaxOpenFiles = 256;

  // A link of /proc as the kernel wrote it, less the " (deleted)" the
  // kernel appends to the path of a file removed (or replaced) since it
  // was opened; a file truly named so keeps its name. False with errno set
  // when it cannot be read.
  static bool ReadProcessLink(const std::string& link, std::string& target);
  // The regular files of a process's "fd" folder; false when it cannot be
  // read.
  static bool ReadOpenFiles(const std::string& fdFolder, std::vector<std::string>& files);

 private:
  // A link of the process: read directly, else from the helper (asked at
  // most once per check of the process list).
  bool ReadLink(std::uint32_t processId, const char* name, std::string& target);
  const Links* HelperLinks(std::uint32_t processId);
  void NewCheck();  // a check of the process list begins

  std::string root_;
  std::string helperSocket_;
  bool helperAsked_ = false;
  std::unordered_map<std::uint32_t, Links> helperLinks_;
};

}  // namespace qm
