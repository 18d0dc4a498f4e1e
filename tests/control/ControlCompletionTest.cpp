// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// What the bash completion offers after `quillmoor98 ctl`, as the program
// answers it and as the installed completion script shows it.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "control/ControlCommandLine.h"
#include "control/ControlCompletion.h"
#include "os/ProcessRunner.h"
#include "store/OptionKeys.h"

namespace qm::test {
namespace {

using Words = std::vector<std::string>;

Words Complete(Words typed) {
  typed.insert(typed.begin(), {"ctl", "--complete"});
  std::vector<const char*> argv;
  for (const std::string& w : typed) argv.push_back(w.c_str());
  std::ostringstream out, err;
  EXPECT_EQ(ControlCommandLine::Run(static_cast<int>(argv.size()), argv.data(), out, err), 0)
      << err.str();
  Words words;
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) words.push_back(line);
  return words;
}

Words SettingKeys() {
  Words keys;
  for (const OptionKeys::Key& key : OptionKeys::All()) keys.emplace_back(key.name);
  return keys;
}

bool Holds(const Words& words, const std::string& word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

TEST(ControlCompletion, OffersWhatTheCommandLineAccepts) {
  const struct {
    Words typed;
    Words offered;
    Words notOffered;
  } cases[] = {
      {{},
       {"status", "users", "history", "disconnect", "list", "kick-status", "get", "set", "watch",
        "--socket", "--json", "--help"},
       {"--complete", "add"}},
      {{"list"}, {"add", "remove", "--json"}, {"status"}},
      {{"list", "add", "PC7"}, {"--json", "--socket"}, {"add", "remove"}},
      {{"kick-status"}, {"nobody", "list", "everybody"}, {"status"}},
      {{"history"}, {"--text", "--json", "--socket"}, {}},
      {{"--json", "history", "--text"}, {"--socket"}, {"--json", "--text"}},
      {{"set", "Quake"}, {"true", "false"}, {"Quake"}},
      {{"set", "Idle"}, {"--json"}, {"true"}},
      {{"--socket"}, {ControlCompletion::kFiles}, {"status"}},
      {{"--socket", "/run/x", "kick-status"}, {"everybody"}, {}},
  };
  for (const auto& c : cases) {
    const Words words = Complete(c.typed);
    const std::string context =
        testing::PrintToString(c.typed) + " gave " + testing::PrintToString(words);
    for (const std::string& w : c.offered) EXPECT_TRUE(Holds(words, w)) << w << ": " << context;
    for (const std::string& w : c.notOffered) EXPECT_FALSE(Holds(words, w)) << w << ": " << context;
  }
}

TEST(ControlCompletion, OffersEverySettingKeyToGetAndSet) {
  for (const char* command : {"get", "set"}) {
    Words words = Complete({command});
    words.erase(std::remove_if(words.begin(), words.end(),
                               [](const std::string& w) { return w.rfind("--", 0) == 0; }),
                words.end());
    EXPECT_EQ(words, SettingKeys()) << command;
  }
}

// The script as bash runs it on Tab, against the built program.
TEST(ControlCompletion, BashScriptShowsTheProgramsWords) {
  const std::string script = std::string(QM_SOURCE_DIR) + "/packaging/completion/quillmoor98";
  const std::string program = std::string(QM_BIN_DIR) + "/quillmoor98";
  const struct {
    Words line;  // the last word is the one being completed
    std::string expected;
  } cases[] = {
      {{"ctl", "kick-status", ""}, "nobody list everybody"},
      {{"ctl", "get", "IPF"}, "IPFilter IPFilterString"},
      {{"ctl", "list", "re"}, "remove"},
      {{"ctl", "history", "--t"}, "--text"},
      {{"ctl", "st"}, "status"},
      {{"c"}, "ctl"},
  };
  for (const auto& c : cases) {
    std::string words = program;
    for (const std::string& w : c.line) words += " '" + w + "'";
    const std::string run = "source '" + script + "'; COMP_WORDS=(" + words +
                            "); COMP_CWORD=" + std::to_string(c.line.size()) +
                            "; _quillmoor98; echo \"${COMPREPLY[*]}\"";
    const ProcessResult r = ProcessRunner::Run({"bash", "-c", run});
    ASSERT_TRUE(r.Succeeded()) << r.err;
    EXPECT_EQ(r.out, c.expected + "\n") << testing::PrintToString(c.line);
  }
}

}  // namespace
}  // namespace qm::test
