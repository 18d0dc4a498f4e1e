// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "core/ServerBackend.h"
#include "os/ProcessRunner.h"

namespace qm {

// Statuses of our own for failures of Samba's tools that no platform
// status describes. Bit 29 marks an application's own codes.
inline constexpr NetStatus kSambaToolFailed = 0x20000001;  // a tool failed or could not start
inline constexpr NetStatus kSambaBadOutput = 0x20000002;   // a tool's answer could not be read

// Runs Samba's tools: without a shell, with an argument vector, behind the
// elevation prefix, with a time limit, and cancellable: Stop ends every run
// at once, and every run started until Resume.
class SambaTools {
 public:
  // The group whose members the sudoers drop-in lets run Samba's tools as
  // root.
  static constexpr const char* kElevationGroup = "quillmoor98";
  // Where Samba's tools live when PATH does not name the system folders.
  static const std::vector<std::string>& ToolDirs();

  SambaTools(std::vector<std::string> elevate, std::chrono::milliseconds timeout,
             std::uint64_t memoryLimit = 0)
      : elevate_(std::move(elevate)), timeout_(timeout), memoryLimit_(memoryLimit) {}

  // Runs tool with arguments, elevated; why (when given) learns why a run
  // failed.
  NetStatus Run(const std::string& tool, std::vector<std::string> arguments, ProcessResult& run,
                std::string* why) const;
  // Runs argv as it is (no elevation) within timeout.
  ProcessResult RunPlain(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         std::size_t outputLimit) const;
  void Stop();
  void Resume();
  bool Stopped() const { return Cancel().stop_requested(); }

  // A tool's first line of text, without its line end and trailing blanks.
  static std::string FirstLine(const std::string& text);
  // The status for a tool run that did not succeed.
  static NetStatus StatusOfRun(const ProcessResult& run);
  // The elevation prefix: the setting split on blanks when it is set (set
  // and empty: none); unset, "sudo -n" when the program is not root and
  // sudo may elevate it (it is a member of kElevationGroup and sudo is
  // installed), none otherwise.
  static std::vector<std::string> ElevationFor(const char* setting, bool root, bool sudoAllowed);
  // The process holds the group now, as its primary or a supplementary one
  // (sudo judges the same groups; a user added to the group gets it at the
  // next login).
  static bool HoldsGroup(const char* name);
  // The end-session helper installed with the program, else the one beside
  // it (a build tree); "" when there is none.
  static std::string EndSessionTool();

 private:
  std::stop_token Cancel() const;

  std::vector<std::string> elevate_;
  std::chrono::milliseconds timeout_;
  std::uint64_t memoryLimit_;
  mutable std::mutex mutex_;
  std::stop_source stop_;
};

}  // namespace qm
