// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The nbtstat stand-in, run as a program over the simulated server.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>

#include "resolve/NameTable.h"
#include "resolve/ResolveTestSupport.h"
#include "resolve/SessionListing.h"

namespace qm {
namespace {

using test::ReadText;
using test::TempFolder;
using test::WriteText;

struct ToolRun {
  int exitCode = -1;
  std::string out, err;
};

class NbtstatToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tool = NameTable::ToolBesideProgram();
    ASSERT_TRUE(test::Exists(tool)) << tool << " is missing: build quillmoor98-nbtstat";
  }

  // The test's own folder names hold no quote, so single quotes suffice.
  ToolRun Run(const std::string& server, const std::string& arguments) {
    const std::string command = "QUILLMOOR98_SERVER='" + server + "' '" + tool + "' " + arguments +
                                " 2>'" + folder.File("err") + "'";
    ToolRun r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.out.append(buffer, n);
    const int status = pclose(pipe);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = ReadText(folder.File("err"));
    return r;
  }

  std::string State(const std::string& sessions, const std::string& extra = "") {
    const std::string path = folder.File("state.json");
    WriteText(path, R"({"family": "nt", "sessions": [)" + sessions + "]" + extra + "}");
    return "sim:" + path;
  }

  TempFolder folder;
  std::string tool;
};

TEST_F(NbtstatToolTest, ListsNamesAndAddressesOfTheSimulatedSessions) {
  const std::string server = State(R"({"client": "PC1", "user": "a", "address": "127.0.0.1"},
                                      {"client": "PC10", "user": "b", "address": "127.0.0.2"})");
  const ToolRun names = Run(server, "-s");
  const ToolRun addresses = Run(server, "-S");
  ASSERT_EQ(names.exitCode, 0) << names.err;
  ASSERT_EQ(addresses.exitCode, 0) << addresses.err;
  EXPECT_EQ(names.err, "");
  const std::size_t column = SessionListing::kRemoteColumn - 1;
  EXPECT_NE(names.out.find("PC10           <20>"), std::string::npos) << names.out;
  ListingCapture::Table table;
  ASSERT_TRUE(NameTable::ParseListings(names.out, addresses.out, table));
  EXPECT_EQ(table, (ListingCapture::Table{{"PC1", "127.0.0.1"}, {"PC10", "127.0.0.2"}}));
  // Both from one reading: the same listings, parted by the separator.
  const ToolRun both = Run(server, "-s -S");
  ASSERT_EQ(both.exitCode, 0) << both.err;
  EXPECT_EQ(both.out, names.out + "\f\n" + addresses.out);
  std::string_view n, a;
  ASSERT_TRUE(NameTable::SplitListings(both.out, n, a));
  EXPECT_EQ(n, names.out);
  EXPECT_EQ(a, addresses.out);
  for (const std::string* listing : {&names.out, &addresses.out}) {
    std::istringstream in(*listing);
    int sessionLines = 0;
    for (std::string line; std::getline(in, line);) {
      if (line.size() > column && line.find("<20>  Connected") != std::string::npos) {
        ++sessionLines;
        EXPECT_NE(line[column], ' ');
        EXPECT_EQ(line[column - 1], ' ');
      }
    }
    EXPECT_EQ(sessionLines, 2);
  }
}

TEST_F(NbtstatToolTest, UnreadableTableFailsWithOneLineSayingWhy) {
  const ToolRun missing = Run("sim:" + folder.File("missing.json"), "-s");
  EXPECT_NE(missing.exitCode, 0);
  EXPECT_EQ(missing.out, "");
  ASSERT_FALSE(missing.err.empty());
  EXPECT_EQ(missing.err.find('\n'), missing.err.size() - 1) << missing.err;
  EXPECT_NE(missing.err.find("missing.json"), std::string::npos) << missing.err;

  const ToolRun failing = Run(State("", R"(, "fail": {"NetSessionEnum": 53})"), "-S");
  EXPECT_NE(failing.exitCode, 0);
  EXPECT_NE(failing.err.find("53"), std::string::npos) << failing.err;

  const ToolRun unknown = Run("nonsense", "-s");
  EXPECT_NE(unknown.exitCode, 0);
  EXPECT_NE(unknown.err.find("QUILLMOOR98_SERVER"), std::string::npos) << unknown.err;
}

TEST_F(NbtstatToolTest, WrongCommandLineIsRefused) {
  const std::string server = State("");
  for (const char* arguments : {"", "-x", "-s -s", "-s -S -x", "'-s; true'"}) {
    const ToolRun r = Run(server, arguments);
    EXPECT_EQ(r.exitCode, 2) << arguments;
    EXPECT_EQ(r.out, "") << arguments;
  }
  EXPECT_EQ(Run(server, "-s").exitCode, 0);
}

}  // namespace
}  // namespace qm
