// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "enforce/DataLines.h"
#include "enforce/DisconnectListFile.h"
#include "enforce/ProgramListFile.h"
#include "os/AtomicFile.h"
#include "support/TempFolder.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;
using Lines = PackedTexts;

std::string Read(const std::string& path) {
  std::string data, error;
  EXPECT_TRUE(ReadWholeFile(path, data, error)) << error;
  return data;
}

void Write(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

// ---- lines ----

TEST(DataLines, EveryKindOfLineEndEndsALine) {
  EXPECT_EQ(DataLines::Split("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(DataLines::Split("a\r\n"), (Lines{"a"}));
  EXPECT_EQ(DataLines::Split("a\r"), (Lines{"a"}));
  EXPECT_EQ(DataLines::Split("a\n\r"), (Lines{"a", ""}));  // LF, then a lone CR
  EXPECT_EQ(DataLines::Split("a\r\r\nb"), (Lines{"a", "", "b"}));
  EXPECT_EQ(DataLines::Split(""), Lines{});
  EXPECT_EQ(DataLines::Split("\r\n"), (Lines{""}));
  EXPECT_EQ(DataLines::Split("\r\n\r\n"), (Lines{"", ""}));
}

TEST(DataLines, BlanksAtTheEndsOfALineAreNoPartOfIt) {
  EXPECT_EQ(DataLines::Split(" LEAD\r\n 1.2.3.4 \r\n\t\r\na b\v\f"),
            (Lines{"LEAD", "1.2.3.4", "", "a b"}));
}

TEST(DataLines, ZeroByteEndsTheText) {
  EXPECT_EQ(DataLines::Split(std::string("a\r\nb\0c\r\nd", 9)), (Lines{"a", "b"}));
  EXPECT_EQ(DataLines::Split(std::string("\0a", 2)), Lines{});
}

TEST(DataLines, JoinEndsEveryLineAndKeepsValuesOnOneLine) {
  EXPECT_EQ(DataLines::Join({}), "");
  EXPECT_EQ(DataLines::Join({"a", "", "b"}), "a\r\n\r\nb\r\n");
  const std::string hostile("x\ny\rz\0w", 7);
  EXPECT_EQ(DataLines::Split(DataLines::Join({hostile, "next"})),
            (Lines{std::string("x y z w"), "next"}));
}

// ---- "KickList.dat" ----

TEST(DisconnectListFile, FiveLinesGiveTwoEntries) {
  const auto entries = DisconnectListFile::Parse("A\r\n1.1.1.1\r\nb\n\nC");
  EXPECT_EQ(entries, (Lines{"A", "1.1.1.1", "b", ""}));
}

TEST(DisconnectListFile, FinalLineWithoutEndCompletesAPair) {
  EXPECT_EQ(DisconnectListFile::Parse("A\r1.2.3.4"), (Lines{"A", "1.2.3.4"}));
}

TEST(DisconnectListFile, RoundTripKeepsDuplicatesCaseAndEmptyFields) {
  TempFolder dir;
  const std::string path = dir.File(DisconnectListFile::kFileName);
  DisconnectList list;
  list.AddEntry("pc", "");
  list.AddEntry("PC", kIDontKnow);
  list.AddEntry("", "10.0.0.1");
  std::string error;
  ASSERT_TRUE(DisconnectListFile::Save(path, list, error));
  EXPECT_EQ(Read(path), "pc\r\n\r\nPC\r\nI don't know\r\n\r\n10.0.0.1\r\n");
  DisconnectList back;
  ASSERT_TRUE(DisconnectListFile::Load(path, back, error));
  EXPECT_EQ(back.Entries(), list.Entries());
  EXPECT_EQ(back.FindByName("PC"), 0);
}

TEST(DisconnectListFile, EmptyListWritesEmptyFile) {
  TempFolder dir;
  const std::string path = dir.File(DisconnectListFile::kFileName);
  Write(path, "old\r\nentry\r\n");
  std::string error;
  ASSERT_TRUE(DisconnectListFile::Save(path, DisconnectList(), error));
  EXPECT_EQ(Read(path), "");
}

TEST(DisconnectListFile, MissingFileGivesEmptyListWithoutError) {
  TempFolder dir;
  DisconnectList list;
  list.AddEntry("stale", "1");
  std::string error;
  EXPECT_TRUE(DisconnectListFile::Load(dir.File("KickList.dat"), list, error));
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(error, "");
}

TEST(DisconnectListFile, UnreadableFileIsReportedAndListStartsEmpty) {
  TempFolder dir;
  // A folder in the file's place cannot be read as a file, even by root.
  const std::string path = dir.File("KickList.dat");
  fs::create_directory(path);
  DisconnectList list;
  list.AddEntry("stale", "1");
  std::string error;
  EXPECT_FALSE(DisconnectListFile::Load(path, list, error));
  EXPECT_EQ(error, "Cannot open file " + path + ": it is not a regular file");
  EXPECT_EQ(list.Count(), 0u);
}

// A list no genuine file comes near is refused, not read, and kept.
TEST(DisconnectListFile, OversizedFileIsRefusedAndKept) {
  TempFolder dir;
  const std::string path = dir.File("KickList.dat");
  fs::resize_file((std::ofstream(path), path), kSettingsFileMaxBytes + 1);
  DisconnectList list;
  std::string error;
  EXPECT_FALSE(DisconnectListFile::Load(path, list, error));
  EXPECT_EQ(error, "Cannot open file " + path + ": larger than " +
                       std::to_string(kSettingsFileMaxBytes) + " bytes");
}

TEST(DisconnectListFile, FailedWriteKeepsOldFileAndSaysCannotCreate) {
  TempFolder dir;
  const std::string folder = dir.File("sub");
  fs::create_directory(folder);
  const std::string path = folder + "/KickList.dat";
  Write(path, "OLD\r\n1\r\n");
  DisconnectList list;
  list.AddEntry("NEW", "2");
  std::string error;
  // A path below a file cannot be created, whoever runs the test.
  EXPECT_FALSE(DisconnectListFile::Save(path + "/x", list, error));
  EXPECT_EQ(error, "Cannot create file " + path + "/x: Not a directory");
  // The folder made read-only: the old file stays whole (root ignores modes).
  if (::geteuid() != 0) {
    ::chmod(folder.c_str(), 0555);
    EXPECT_FALSE(DisconnectListFile::Save(path, list, error));
    ::chmod(folder.c_str(), 0755);
  }
  EXPECT_EQ(Read(path), "OLD\r\n1\r\n");
  EXPECT_EQ(fs::directory_iterator(folder)->path().filename(), "KickList.dat");
}

// ---- "ProgramList.dat" ----

TEST(ProgramListFile, EveryLineIsAnEntryEmptyOnesIncluded) {
  EXPECT_EQ(ProgramListFile::Parse("/A\r\n\r\n/B"), (Lines{"/A", "", "/B"}));
  EXPECT_EQ(ProgramListFile::Parse("\n"), (Lines{""}));
}

TEST(ProgramListFile, EmptyEntryIsWrittenBack) {
  TempFolder dir;
  const std::string path = dir.File(ProgramListFile::kFileName);
  Write(path, "/USR/BIN/B\r\n\r\n/USR/BIN/A\r\n");
  ProgramList list;
  std::string error;
  ASSERT_TRUE(ProgramListFile::Load(path, list, error));
  EXPECT_EQ(list.Entries(), (Lines{"", "/USR/BIN/A", "/USR/BIN/B"}));
  ASSERT_TRUE(ProgramListFile::Save(path, list, error));
  EXPECT_EQ(Read(path), "\r\n/USR/BIN/A\r\n/USR/BIN/B\r\n");
}

TEST(ProgramListFile, MissingEmptyAndUnreadableFiles) {
  TempFolder dir;
  ProgramList list;
  std::string error;
  list.Add("/STALE");
  EXPECT_TRUE(ProgramListFile::Load(dir.File("ProgramList.dat"), list, error));
  EXPECT_EQ(list.Count(), 0u);

  const std::string path = dir.File("ProgramList.dat");
  ASSERT_TRUE(ProgramListFile::Save(path, list, error));
  EXPECT_EQ(Read(path), "");

  fs::remove(path);
  fs::create_directory(path);
  list.Add("/STALE");
  EXPECT_FALSE(ProgramListFile::Load(path, list, error));
  EXPECT_EQ(error, "Cannot open file " + path + ": it is not a regular file");
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_FALSE(ProgramListFile::Save(path, list, error));
  EXPECT_EQ(error, "Cannot create file " + path + ": Is a directory");
}

// ---- what a read list costs ----

// The shortest lines a file can hold, many of them, repeated or each its
// own: the lists read from them hold at most a few times the bytes read.
TEST(DataListsCost, AFewTimesTheBytesReadWhateverTheLines) {
  const auto distinct = [](std::size_t i) {
    std::string text;
    do {
      text += static_cast<char>('0' + i % 40);
      i /= 40;
    } while (i != 0);
    return text;
  };
  struct Shape {
    const char* what;
    std::function<std::string(std::size_t)> entry;
  };
  const std::vector<Shape> shapes = {
      {"empty lines", [](std::size_t) { return std::string("\n\n"); }},
      {"one line end of two bytes each", [](std::size_t) { return std::string("\r\n\r\n"); }},
      {"a name each", [&](std::size_t i) { return distinct(i) + "\n\n"; }},
      {"a name and an address each",
       [&](std::size_t i) { return distinct(i) + "\n" + distinct(i + 7) + "\n"; }},
      {"an address each, no name", [&](std::size_t i) { return "\n" + distinct(i) + "\n"; }},
      {"names without an address",
       [&](std::size_t i) { return distinct(i) + "\n" + kNotKnown + "\n"; }},
  };
  for (const Shape& shape : shapes) {
    std::string data;
    for (std::size_t i = 0; data.size() < (std::size_t{1} << 20); ++i) data += shape.entry(i);
    SCOPED_TRACE(shape.what);
    DisconnectList kicks;
    kicks.Restore(DisconnectListFile::Parse(data));
    EXPECT_LE(kicks.MemoryBytes(), 8 * data.size());
    ProgramList programs;
    programs.Restore(ProgramListFile::Parse(data));
    EXPECT_LE(programs.MemoryBytes(), 8 * data.size());
    EXPECT_TRUE(programs.ContainsProgram(ProgramListFile::Parse(data)[0]));
  }
}

}  // namespace
}  // namespace qm::test
