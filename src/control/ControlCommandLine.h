// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <iosfwd>

namespace qm {

// quillmoor98 ctl [--socket PATH] COMMAND [--json]: the running monitor's
// control socket from a shell. Tables for people, JSON for scripts. Exit
// status 0 on success, 1 when the monitor refused or could not be
// reached (the reason on standard error), 2 on a usage error.
class ControlCommandLine {
 public:
  static constexpr int kDone = 0;
  static constexpr int kRefused = 1;
  static constexpr int kUsage = 2;

  // argv[0] is "ctl".
  static int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
};

}  // namespace qm
