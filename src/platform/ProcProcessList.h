#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/ProcessList.h"

namespace qm {

// The running processes as /proc shows them: every numeric folder is a
// process, and the link /proc/PID/exe names its executable. Without root,
// other users' links cannot be read; those processes are passed over.
class ProcProcessList final : public ProcessList {
 public:
  // root: the proc file system's mount point; tests may point elsewhere.
  explicit ProcProcessList(std::string root = "/proc") : root_(std::move(root)) {}

  bool EnumProcesses(std::uint32_t* ids, std::uint32_t bytes,
                     std::uint32_t& bytesReturned) override;
  bool ExecutablePath(std::uint32_t processId, std::string& path) override;
  std::unique_ptr<ProcessSnapshot> CreateSnapshot() override;
  std::string ResolvedProgram(const std::string& listed) override;
  std::string ScriptInterpreter(const std::string& script) override;
  bool ScriptArgument(std::uint32_t processId, std::string& script) override;

  // The ids of the running processes, in the order the folder lists them.
  bool ProcessIds(std::vector<std::uint32_t>& ids) const;

 private:
  std::string root_;
};

}  // namespace qm
