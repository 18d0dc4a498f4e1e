#include "enforce/ProgramWatcher.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/Text.h"

namespace qm {

namespace {
// Far above any real process table (4 million ids); a list that never
// fits is a broken source, taken as nothing found.
constexpr std::uint32_t kMaxIdBufferSize = 64u << 20;
}  // namespace

ProgramWatcher::Targets ProgramWatcher::ResolveTargets() const {
  Targets t;
  if (!processes_) return t;
  // Resolved at every check: a link may be pointed elsewhere meanwhile.
  for (const std::string& entry : programs_.Entries()) {
    const std::string resolved = processes_->ResolvedProgram(entry);
    if (resolved.empty()) continue;
    t.programs.insert(AsciiUpper(resolved));
    const std::string interpreter = processes_->ScriptInterpreter(resolved);
    if (interpreter.empty()) continue;
    t.scripts[AsciiUpper(resolved)] = AsciiUpper(interpreter);
    t.interpreters.insert(AsciiUpper(interpreter));
  }
  return t;
}

bool ProgramWatcher::Matches(std::uint32_t processId, const std::string& exeFile,
                             const Targets& targets) const {
  const std::string upper = AsciiUpper(exeFile);
  if (programs_.ContainsProgram(upper) || targets.programs.count(upper)) return true;
  // An interpreter of a listed script: is that script what it runs?
  if (processId == 0 || !targets.interpreters.count(upper)) return false;
  std::string script;
  if (!processes_->ScriptArgument(processId, script)) return false;
  auto it = targets.scripts.find(AsciiUpper(script));
  return it != targets.scripts.end() && it->second == upper;
}

bool ProgramWatcher::FindNT() {
  if (!processes_) return false;
  std::uint32_t size = kBufferStep;
  std::vector<std::uint32_t> ids;
  std::uint32_t returned = 0;
  for (;;) {
    ids.assign(size / sizeof(std::uint32_t), 0);
    if (!processes_->EnumProcesses(ids.data(), size, returned)) {
      lastIdBufferSize_ = size;
      return false;
    }
    // A full buffer may mean the list was cut off.
    if (returned != size) break;
    if (size >= kMaxIdBufferSize) return false;
    size += kBufferStep;
  }
  lastIdBufferSize_ = size;
  const std::size_t count = std::min(returned, size) / sizeof(std::uint32_t);
  const Targets targets = ResolveTargets();
  bool found = false;
  std::string path;
  for (std::size_t i = 0; i < count; ++i) {
    if (processes_->ExecutablePath(ids[i], path) && Matches(ids[i], path, targets)) found = true;
  }
  return found;
}

bool ProgramWatcher::Find95() {
  if (!processes_) return false;
  std::unique_ptr<ProcessSnapshot> snapshot = processes_->CreateSnapshot();
  if (!snapshot) return false;
  const Targets targets = ResolveTargets();
  std::string exeFile;
  while (snapshot->Next(exeFile)) {
    if (Matches(snapshot->ProcessId(), exeFile, targets)) return true;
  }
  return false;
}

void ProgramWatcher::QuakeNT() {
  ApplyStatusRule(FindNT());
}

void ProgramWatcher::Quake95() {
  ApplyStatusRule(Find95());
}

void ProgramWatcher::ApplyStatusRule(bool found) {
  if (found) {
    if (!quakeActive_) {
      quakeActive_ = true;
      savedWhoToKick_ = status_.WhoToKick();
    }
    status_.SetWhoToKick(KickAll);
  } else if (quakeActive_) {
    status_.SetWhoToKick(savedWhoToKick_);
    quakeActive_ = false;
  }
}

}  // namespace qm
