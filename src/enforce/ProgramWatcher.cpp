// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
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

const ProgramWatcher::Targets& ProgramWatcher::UpdateTargets() {
  const PackedTexts& entries = programs_.Entries();
  if (resolvedVersion_ != programs_.Version()) {
    resolvedVersion_ = programs_.Version();
    resolved_.clear();
    nextToResolve_ = 0;
    targets_ = Targets{};
  }
  if (!processes_ || entries.empty()) return targets_;
  bool changed = false;
  const auto until = std::chrono::steady_clock::now() + kResolveBudget;
  for (std::size_t n = 0; n < entries.size(); ++n) {
    if (n > 0 && std::chrono::steady_clock::now() >= until) break;
    const std::size_t i = nextToResolve_;
    nextToResolve_ = (nextToResolve_ + 1) % entries.size();
    Resolved now;
    now.program = processes_->ResolvedProgram(std::string(entries[i]));
    if (!now.program.empty()) now.interpreter = processes_->ScriptInterpreter(now.program);
    const auto before = resolved_.find(i);
    if (before == resolved_.end() ? now.program.empty() : now == before->second) continue;
    if (now.program.empty()) {
      resolved_.erase(before);
    } else {
      resolved_[i] = std::move(now);
    }
    changed = true;
  }
  if (!changed) return targets_;
  targets_ = Targets{};
  for (const auto& [entry, r] : resolved_) {
    targets_.programs.insert(AsciiUpper(r.program));
    if (r.interpreter.empty()) continue;
    targets_.scripts[AsciiUpper(r.program)] = AsciiUpper(r.interpreter);
    targets_.interpreters.insert(AsciiUpper(r.interpreter));
  }
  return targets_;
}

bool ProgramWatcher::Matches(std::uint32_t processId, const std::string& exeFile,
                             const Targets& targets) const {
  const std::string upper = AsciiUpper(exeFile);
  if (programs_.ContainsProgram(upper) || targets.programs.count(upper)) return true;
  // An interpreter of a listed script: does it have that script open? Its
  // arguments are not asked: anybody can name a file there (or a link to
  // it) without running it.
  if (processId == 0 || !targets.interpreters.count(upper)) return false;
  std::vector<std::string> files;
  if (!processes_->OpenFiles(processId, files)) return false;
  for (const std::string& file : files) {
    auto it = targets.scripts.find(AsciiUpper(file));
    if (it != targets.scripts.end() && it->second == upper) return true;
  }
  return false;
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
  const Targets& targets = UpdateTargets();
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
  const Targets& targets = UpdateTargets();
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
