// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// What the bash completion offers after `quillmoor98 ctl`: the program's
// answer, and the script as bash shows it.
#include <gtest/gtest.h>

#include <sstream>

#include "control/ControlCommandLine.h"
#include "os/ProcessRunner.h"
#include "store/OptionKeys.h"

namespace qm::test {
namespace {

// The words after `ctl --complete TYPED...`, one blank apart.
std::string Complete(std::vector<std::string> typed) {
  typed.insert(typed.begin(), {"ctl", "--complete"});
  std::vector<const char*> argv;
  for (const std::string& w : typed) argv.push_back(w.c_str());
  std::ostringstream out, err;
  EXPECT_EQ(ControlCommandLine::Run(static_cast<int>(argv.size()), argv.data(), out, err), 0);
  std::string words = out.str();
  std::replace(words.begin(), words.end(), '\n', ' ');
  return words;
}

TEST(ControlCompletion, OffersWhatTheCommandLineAcceptsNext) {
  std::string keys;
  for (const OptionKeys::Key& key : OptionKeys::All()) keys += std::string(key.name) + " ";
  const std::string commands = "status users history disconnect list kick-status get set watch ";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, commands + "--help --socket --json "},
      {{"--json"}, commands + "--help --socket "},  // a flag takes no value
      {{"--socket=/x", "list"}, "add remove --help --json "},
      {{"list", "add", "PC7"}, "--help --socket --json "},
      {{"--socket", "/x", "kick-status"}, "nobody list everybody --help --json "},
      {{"--json", "history", "--text"}, "--help --socket "},
      {{"get"}, keys + "--help --socket --json "},
      {{"set"}, keys + "--help --socket --json "},
      {{"set", "quake"}, "true false --help --socket --json "},
      {{"set", "Idle"}, "--help --socket --json "},
      {{"--socket"}, ":files "},
  };
  for (const auto& [typed, next] : cases) EXPECT_EQ(Complete(typed), next) << typed.size();
}

TEST(ControlCompletion, BashScriptShowsTheProgramsWords) {
  const std::pair<std::string, std::string> cases[] = {
      {"ctl kick-status ''", "nobody list everybody"},
      {"ctl get IPF", "IPFilter IPFilterString"},
      {"ctl list re", "remove"},
      {"ctl history --t", "--text"},
      {"ctl --socket /de", "/dev"},
      {"c", "ctl"},
  };
  for (const auto& [line, shown] : cases) {
    const std::string run =
        "source " QM_SOURCE_DIR "/packaging/completion/quillmoor98; COMP_WORDS=(" QM_BIN_DIR
        "/quillmoor98 " +
        line + "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _quillmoor98; echo ${COMPREPLY[*]}";
    EXPECT_EQ(ProcessRunner::Run({"bash", "-c", run}).out, shown + "\n") << line;
  }
}

}  // namespace
}  // namespace qm::test
