// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/ProcessList.h"
#include "enforce/DisconnectStatus.h"
#include "enforce/ProgramList.h"

namespace qm {

// While a program of the program list runs, the disconnect status is
// forced to KickAll; when none runs any more, the status in force before
// comes back. A process matches when the full path of its executable,
// upper-cased, is on the list, or is the file a listed path leads to (a
// link followed); a script matches when its interpreter has it open. A
// copy started from another folder does not.
class ProgramWatcher {
 public:
  // processes may be null (no process list could be set up): nothing is
  // ever found then.
  ProgramWatcher(ProcessList* processes, const ProgramList& programs, DisconnectStatus& status)
      : processes_(processes), programs_(programs), status_(status) {}

  // The NT-family check: a buffer of process ids grown in 400-byte steps
  // until the list fits, every process examined.
  void QuakeNT();
  // The 95/98 check: a snapshot walk that stops at the first match.
  void Quake95();

  bool QuakeActive() const { return quakeActive_; }
  KickStatus SavedWhoToKick() const { return savedWhoToKick_; }
  // Bytes of the last process-id buffer QuakeNT used.
  std::uint32_t LastIdBufferSize() const { return lastIdBufferSize_; }

  static constexpr std::uint32_t kBufferStep = 400;

 private:
  // What the listed entries lead to, upper-cased.
  struct Targets {
    std::unordered_set<std::string> programs;
    std::unordered_map<std::string, std::string> scripts;  // script -> interpreter
    std::unordered_set<std::string> interpreters;
  };
  // One entry's: the file it leads to and that file's interpreter.
  struct Resolved {
    std::string program, interpreter;
    bool operator==(const Resolved&) const = default;
  };
  // A link may be pointed elsewhere at any time, so the entries are
  // resolved again and again, in turn, for at most kResolveBudget per
  // check: a long list never makes a check long. Targets follow.
  const Targets& UpdateTargets();
  bool Matches(std::uint32_t processId, const std::string& exeFile, const Targets& targets) const;
  bool FindNT();
  bool Find95();
  void ApplyStatusRule(bool found);

  ProcessList* processes_;
  const ProgramList& programs_;
  DisconnectStatus& status_;
  bool quakeActive_ = false;
  KickStatus savedWhoToKick_ = KickNobody;
  std::uint32_t lastIdBufferSize_ = 0;
  std::uint64_t resolvedVersion_ = UINT64_MAX;
  // Per entry of the list that leads to a file; most lead nowhere, and a
  // long list must not cost a record per entry.
  std::unordered_map<std::size_t, Resolved> resolved_;
  std::size_t nextToResolve_ = 0;
  Targets targets_;

 public:
  static constexpr std::chrono::milliseconds kResolveBudget{50};
};

}  // namespace qm
