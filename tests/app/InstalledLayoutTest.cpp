// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The installed program's folders: its own defaults only at its installed
// path, the environment still first, help file and nbtstat tool only when
// they are there.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "app/InstalledLayout.h"
#include "os/AtomicFile.h"
#include "support/ScopedVariable.h"
#include "support/TempFolder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

using test::ScopedVariable;

class InstalledLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ + "/usr/bin");
    fs::create_directories(root_ + "/usr/libexec/quillmoor98");
    fs::create_directories(root_ + "/usr/share/quillmoor98");
    layout_ = {root_ + "/usr/bin/quillmoor98",
               "/var/lib/quillmoor98",
               "/etc/quillmoor98",
               root_ + "/usr/share/quillmoor98/Quillmoor98.hlp",
               root_ + "/usr/libexec/quillmoor98/quillmoor98-nbtstat",
               "/usr/libexec/quillmoor98/quillmoor98-desktop"};
    Write(layout_.helpFile, 0644);
    Write(layout_.nbtstatTool, 0755);
  }
  void Write(const std::string& path, mode_t mode) {
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, "x", error, mode)) << error;
  }
  ApplicationConfig Run(const std::string& programFile) {
    ApplicationConfig config;
    config.programFile = programFile;
    layout_.Apply(config);
    return config;
  }

  test::TempFolder folder_{"qm-layout"};
  const std::string root_ = folder_.Path();
  InstalledLayout layout_;
  ScopedVariable programDir_{"QUILLMOOR98_PROGRAM_DIR", std::nullopt};
  ScopedVariable sysconfDir_{"QUILLMOOR98_SYSCONFDIR", std::nullopt};
};

TEST_F(InstalledLayoutTest, InstalledProgramTakesItsOwnFolders) {
  const ApplicationConfig c = Run(layout_.programFile);
  EXPECT_EQ(c.programDirectory, "/var/lib/quillmoor98");
  EXPECT_EQ(c.settingsPath, "/etc/quillmoor98/Quillmoor98.ini");
  EXPECT_EQ(c.helpFile, layout_.helpFile);
  EXPECT_EQ(c.nbtstatPath, layout_.nbtstatTool);
}

TEST_F(InstalledLayoutTest, AnyOtherCopyKeepsEverythingBesideItself) {
  // A build tree, a staged install (DESTDIR), a copy elsewhere.
  for (const std::string& program :
       {std::string("/work/build/bin/quillmoor98"), "/tmp/stage" + layout_.programFile}) {
    const ApplicationConfig c = Run(program);
    EXPECT_EQ(c.programDirectory, fs::path(program).parent_path().string()) << program;
    EXPECT_EQ(c.settingsPath, "/etc/Quillmoor98.ini") << program;
    EXPECT_EQ(c.helpFile, "") << program;
    EXPECT_EQ(c.nbtstatPath, "") << program;
  }
  InstalledLayout none;  // a build without installed defaults
  ApplicationConfig c;
  c.programFile = layout_.programFile;
  none.Apply(c);
  EXPECT_EQ(c.programDirectory, root_ + "/usr/bin");
  EXPECT_EQ(c.settingsPath, "/etc/Quillmoor98.ini");
}

TEST_F(InstalledLayoutTest, EnvironmentStillDecidesTheFolders) {
  ScopedVariable data("QUILLMOOR98_PROGRAM_DIR", "/srv/qm/");
  ScopedVariable settings("QUILLMOOR98_SYSCONFDIR", "/srv/etc");
  const ApplicationConfig c = Run(layout_.programFile);
  EXPECT_EQ(c.programDirectory, "/srv/qm");
  EXPECT_EQ(c.settingsPath, "/srv/etc/Quillmoor98.ini");
  // The help file and the tool are the installed ones wherever the data is.
  EXPECT_EQ(c.helpFile, layout_.helpFile);
  EXPECT_EQ(c.nbtstatPath, layout_.nbtstatTool);
}

TEST_F(InstalledLayoutTest, MissingHelpFileOrToolFallsBackToTheProgramsFolder) {
  fs::remove(layout_.helpFile);
  ::chmod(layout_.nbtstatTool.c_str(), 0644);  // not executable
  ApplicationConfig c = Run(layout_.programFile);
  EXPECT_EQ(c.helpFile, "");
  EXPECT_EQ(c.nbtstatPath, "");
  fs::remove(layout_.nbtstatTool);
  fs::create_directory(layout_.nbtstatTool);  // a folder of that name
  c = Run(layout_.programFile);
  EXPECT_EQ(c.nbtstatPath, "");
}

TEST_F(InstalledLayoutTest, ProgramFileAndDesktopProgramFindEachOther) {
  const struct {
    std::string program, desktop;
  } pairs[] = {
      {layout_.programFile, layout_.desktopProgram},
      {"/work/build/bin/quillmoor98", "/work/build/bin/quillmoor98-desktop"},
      {"/tmp/stage" + layout_.programFile, "/tmp/stage" + root_ + "/usr/bin/quillmoor98-desktop"},
  };
  for (const auto& p : pairs) {
    EXPECT_EQ(layout_.DesktopProgramFor(p.program), p.desktop);
    EXPECT_EQ(layout_.ProgramFileFor(p.desktop), p.program);
  }
}

}  // namespace
}  // namespace qm
