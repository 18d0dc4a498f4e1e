// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The manual pages and the guides say what the program does: every
// setting's default and range as the program's own table has them, and the
// exit statuses the program ends with.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "app/Application.h"
#include "core/Ports.h"
#include "store/OptionKeys.h"
#include "support/TempFolder.h"

namespace qm {
namespace {

std::string Source(const std::string& file) {
  return test::ReadText(std::string(QM_SOURCE_DIR) + "/" + file);
}

// A text's sentences without its line breaks.
std::string Prose(const std::string& file) {
  std::string text = Source(file);
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

TEST(DocumentedBehaviourTest, DefaultsRangesAndExitStatusesAreTheProgramsOwn) {
  const std::string man5 = Source("packaging/man/quillmoor98.ini.5");
  auto range = [](int fallback, int low, int high) {
    return "integer, default " + std::to_string(fallback) + ", " + std::to_string(low) + " to " +
           std::to_string(high);
  };
  std::vector<std::string> entries = {".BR WhoToKick \" (" + range(KickNobody, KickNobody, KickAll)};
  for (const OptionKeys::Key& key : OptionKeys::All()) {
    const std::string kind = key.type == OptionKeys::Type::Integer
                                 ? range(key.fallback, key.low, key.high)
                             : key.type == OptionKeys::Type::Boolean
                                 ? "boolean, default " + std::to_string(key.fallback)
                                 : std::string("text, default empty");
    entries.push_back(".BR " + std::string(key.name) + " \" (" + kind);
  }
  for (const std::string& entry : entries) {
    EXPECT_NE(man5.find(entry + ")\"\n"), std::string::npos) << entry;
  }

  const std::string fatal = std::to_string(kExitFatal), normal = std::to_string(kExitNormal);
  const std::string man1 = Source("packaging/man/quillmoor98.1");
  EXPECT_NE(man1.find(".B " + normal + "\nA normal end"), std::string::npos);
  EXPECT_NE(man1.find(".B " + fatal + "\nA fatal end"), std::string::npos);
  const std::string readme = Prose("README.md");
  EXPECT_NE(readme.find("Exit status: " + normal + " for a normal end"), std::string::npos);
  EXPECT_NE(readme.find("; " + fatal + " for a fatal end"), std::string::npos);
  // The unit restarts on the ends it is told about.
  std::smatch restart;
  const std::string unit = Source("packaging/quillmoor98.service.in");
  ASSERT_TRUE(std::regex_search(unit, restart, std::regex("\nRestart=([a-z-]+)\n")));
  const std::string samba = Prose("docs/samba.md");
  EXPECT_NE(samba.find("(`Restart=" + restart[1].str() + "`"), std::string::npos);
  EXPECT_NE(samba.find("exit with status " + fatal + ","), std::string::npos);
}

}  // namespace
}  // namespace qm
