// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace qm {

// What may come next on a `quillmoor98 ctl` command line, read from the
// command line's own definition, so that the shell's completion cannot
// drift from it: the commands, their options, the values a check accepts
// and the setting keys.
class ControlCompletion {
 public:
  // The answer when the next word is a file's path.
  static constexpr const char* kFiles = ":files";

  // typed: the words after "ctl", without the word being completed.
  static std::vector<std::string> Next(const CLI::App& ctl, const std::vector<std::string>& typed);
};

}  // namespace qm
