// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/StartupRegistration.h"
#include "support/TempFolder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class StartupRegistrationTest : public ::testing::Test {
 protected:
  ~StartupRegistrationTest() override {
    std::error_code ec;
    fs::permissions(root_ + "/xdg/autostart", fs::perms::owner_all, ec);
  }
  test::TempFolder folder_{"qm-autostart"};
  const std::string root_ = folder_.Path();
};

TEST_F(StartupRegistrationTest, EnableWritesDisableRemovesOthersStay) {
  fs::create_directories(root_ + "/xdg/autostart");
  std::ofstream(root_ + "/xdg/autostart/other.desktop") << "[Desktop Entry]\n";
  StartupRegistration r(root_, "/opt/Quill Moor/bin/quillmoor98");
  EXPECT_TRUE(r.Set(true));
  EXPECT_TRUE(r.Set(true));  // a second time simply replaces it
  const std::string text = test::ReadText(r.RunPath());
  EXPECT_NE(text.find("Exec=\"/opt/Quill Moor/bin/quillmoor98\"\n"), std::string::npos) << text;
  EXPECT_TRUE(r.Set(false));
  EXPECT_FALSE(fs::exists(r.RunPath()));
  EXPECT_TRUE(fs::exists(root_ + "/xdg/autostart/other.desktop"));
  EXPECT_TRUE(r.Set(false));  // nothing to remove: nothing happens
}

TEST_F(StartupRegistrationTest, ServicesEntryIsRemovedOnAnyCallAndNeverWritten) {
  fs::create_directories(root_ + "/xdg/autostart-services");
  fs::create_directories(root_ + "/xdg/autostart");
  StartupRegistration r(root_, "/usr/bin/quillmoor98");
  for (bool enabled : {true, false}) {
    std::ofstream(r.ServicesPath()) << "x";
    r.Set(enabled);
    EXPECT_FALSE(fs::exists(r.ServicesPath()));
  }
}

TEST_F(StartupRegistrationTest, AMissingOrClosedFolderRefusesToEnable) {
  StartupRegistration r(root_, "/usr/bin/quillmoor98");
  EXPECT_FALSE(r.Set(true));
  EXPECT_FALSE(fs::exists(root_ + "/xdg/autostart"));  // never created
  EXPECT_TRUE(r.Set(false));
  if (::geteuid() != 0) {  // root writes anywhere
    fs::create_directories(root_ + "/xdg/autostart");
    fs::permissions(root_ + "/xdg/autostart", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(r.Set(true));
  }
}

TEST_F(StartupRegistrationTest, AUserWritesOwnFolderAndIsToldWhyNot) {
  // The system's folder is there but not the user's: the user's is made.
  fs::create_directories(root_ + "/xdg/autostart");
  StartupRegistration r(root_, "/usr/bin/quillmoor98", root_ + "/home/.config");
  std::string why;
  EXPECT_TRUE(r.Set(true, &why)) << why;
  EXPECT_EQ(r.RunPath(), root_ + "/home/.config/autostart/Quillmoor98.desktop");
  EXPECT_TRUE(fs::exists(r.RunPath()));
  EXPECT_FALSE(fs::exists(root_ + "/xdg/autostart/Quillmoor98.desktop"));
  // A file where the folder should be: refused, with the reason.
  std::ofstream(root_ + "/home/file") << "x";
  StartupRegistration blocked(root_, "/usr/bin/quillmoor98", root_ + "/home/file");
  EXPECT_FALSE(blocked.Set(true, &why));
  EXPECT_NE(why.find(root_ + "/home/file/autostart"), std::string::npos) << why;
}

TEST_F(StartupRegistrationTest, ExecFollowsTheDesktopEntryEscapingInBothLayers) {
  auto exec = [](const std::string& path) {
    const std::string text = StartupRegistration::EntryText(path);
    const auto at = text.find("Exec=") + 5;
    return text.substr(at, text.find('\n', at) - at);
  };
  // Quoted, the backslash escaped, then every backslash doubled as a
  // value; % doubled for the field codes.
  EXPECT_EQ(exec("/opt/a\\b%c"), R"("/opt/a\\\\b%%c")");
  EXPECT_EQ(exec("/opt/50%/q"), "/opt/50%%/q");
  EXPECT_EQ(exec("/opt/$x\"`y"), R"("/opt/\\$x\\"\\`y")");
  EXPECT_EQ(exec("/opt/a\nb"), R"("/opt/a\nb")");  // one line, the break kept
}

TEST_F(StartupRegistrationTest, PlainPathsAreWrittenAsTheyAre) {
  EXPECT_NE(
      StartupRegistration::EntryText("/usr/bin/quillmoor98").find("Exec=/usr/bin/quillmoor98\n"),
      std::string::npos);
}

}  // namespace
}  // namespace qm
