// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The manual pages and guides give the program's own defaults, ranges and
// exit statuses.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/Application.h"
#include "store/OptionKeys.h"
#include "support/TempFolder.h"

namespace qm {
namespace {

constexpr auto kNone = std::string::npos;

// A source file's text with its line breaks as blanks.
std::string Prose(const std::string& file) {
  std::string text = test::ReadText(std::string(QM_SOURCE_DIR) + "/" + file);
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

TEST(DocumentedBehaviourTest, DefaultsRangesAndExitStatusesAreTheProgramsOwn) {
  const std::string man5 = Prose("packaging/man/quillmoor98.ini.5");
  auto range = [](int fallback, int low, int high) {
    return "integer, default " + std::to_string(fallback) + ", " + std::to_string(low) + " to " +
           std::to_string(high);
  };
  std::vector<std::string> entries = {"WhoToKick \" (" + range(KickNobody, KickNobody, KickAll)};
  for (const OptionKeys::Key& k : OptionKeys::All()) {
    using T = OptionKeys::Type;
    entries.push_back(std::string(k.name) + " \" (" +
                      (k.type == T::Integer   ? range(k.fallback, k.low, k.high)
                       : k.type == T::Boolean ? "boolean, default " + std::to_string(k.fallback)
                                              : "text, default empty"));
  }
  for (const std::string& e : entries) EXPECT_NE(man5.find(".BR " + e + ")\" "), kNone) << e;

  const std::string fatal = std::to_string(kExitFatal), normal = std::to_string(kExitNormal);
  EXPECT_NE(Prose("packaging/man/quillmoor98.1").find(".B " + fatal + " A fatal end"), kNone);
  EXPECT_NE(Prose("README.md").find("Exit status: " + normal + " for a normal end"), kNone);
  EXPECT_NE(Prose("README.md").find("; " + fatal + " for a fatal end"), kNone);
  const std::string unit = Prose("packaging/quillmoor98.service.in");
  const auto at = unit.find(" Restart=");
  ASSERT_NE(at, kNone);
  const auto from = at + 9;
  const std::string restart = unit.substr(from, unit.find(' ', from) - from);
  const std::string samba = Prose("docs/samba.md");
  EXPECT_NE(samba.find("(`Restart=" + restart + "`"), kNone);
  EXPECT_NE(samba.find("exit with status " + fatal + ","), kNone);
}

}  // namespace
}  // namespace qm
