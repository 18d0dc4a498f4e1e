// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "os/AtomicFile.h"
#include "os/TrustedPath.h"
#include "platform/StartupRegistration.h"
#include "support/TempFolder.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

// A user who is neither root nor the one running the tests.
constexpr uid_t kSomebodyElse = 65534;

class TrustedPathTest : public ::testing::Test {
 protected:
  // A link that another user made: only root can make one here.
  void PlantLink(const std::string& target, const std::string& link) {
    fs::create_symlink(target, link);
    ASSERT_EQ(::lchown(link.c_str(), kSomebodyElse, kSomebodyElse), 0);
  }
  TempFolder folder_{"qm-trusted"};
  const std::string root_ = folder_.Path();
};

TEST_F(TrustedPathTest, FollowsOnlyLinksOfRootOrTheRunningUser) {
  fs::create_directories(root_ + "/real");
  WriteText(root_ + "/real/file", "x");
  fs::create_symlink("real", root_ + "/own");
  std::string why;
  EXPECT_TRUE(OpenTrusted(root_ + "/own/file", O_RDONLY, FolderRule::kAny, why).Valid()) << why;
  EXPECT_EQ(TrustedRealPath(root_ + "/own/./file"), fs::canonical(root_ + "/real/file"));
  ASSERT_TRUE(OpenOwnFolder(root_ + "/own/run", true, why).Valid()) << why;
  EXPECT_EQ(fs::status(root_ + "/real/run").permissions(), fs::perms::owner_all);
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a link to somebody else";
  PlantLink("real", root_ + "/planted");
  EXPECT_FALSE(OpenTrusted(root_ + "/planted/file", O_RDONLY, FolderRule::kAny, why).Valid());
  EXPECT_EQ(errno, EPERM);
  EXPECT_EQ(why,
            "will not follow the symbolic link " + root_ + "/planted: it belongs to user 65534");
  EXPECT_EQ(TrustedRealPath(root_ + "/planted/file"), "");
}

// A file that grants access is read only when nobody but root or its user
// can change it, nor the folders on the way to it.
TEST_F(TrustedPathTest, FilesThatGrantAccessAreReadOnlyWhenNobodyElseWrites) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to any group";
  const std::string file = root_ + "/sub/web.yml";
  const struct {
    mode_t folder, file;
    gid_t group;
    const char* refusal;  // nullptr: read
  } cases[] = {
      {0755, 0644, 0, nullptr},
      {0755, 0660, 0, nullptr},   // root's group
      {01777, 0600, 0, nullptr},  // sticky: nobody removes what is ours
      {0755, 0664, 4242, "web.yml is writable by group 4242"},
      {0755, 0606, 0, "web.yml is writable by every user"},
      {0775, 0644, 4242, "sub is writable by group 4242"},
      {0777, 0644, 0, "sub is writable by every user"},
  };
  for (const auto& c : cases) {
    fs::create_directories(root_ + "/sub");
    WriteText(file, "basic_auth_users:\n");
    ASSERT_EQ(::chown(file.c_str(), ::geteuid(), c.group), 0);
    ASSERT_EQ(::chown((root_ + "/sub").c_str(), ::geteuid(), c.group), 0);
    ASSERT_EQ(::chmod(file.c_str(), c.file), 0);
    ASSERT_EQ(::chmod((root_ + "/sub").c_str(), c.folder), 0);
    std::string text, error;
    const bool read = ReadTrustedFile(file, text, error);
    EXPECT_EQ(read, c.refusal == nullptr) << error;
    if (c.refusal) {
      EXPECT_NE(error.find(std::string("refused, ") + root_ + "/sub"), std::string::npos);
      EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
    }
    fs::remove_all(root_ + "/sub");
  }
}

// Root's autostart work in the settings folder: a link a member planted
// there neither receives the entry nor loses a file of its target.
TEST_F(TrustedPathTest, AutostartIsNeverWrittenOrRemovedThroughAPlantedLink) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a link to somebody else";
  fs::create_directories(root_ + "/rootonly");
  WriteText(root_ + "/rootonly/" + StartupRegistration::kEntryName, "keep");
  fs::create_directories(root_ + "/xdg");
  PlantLink(root_ + "/rootonly", root_ + "/xdg/autostart");
  StartupRegistration r(root_, "/usr/bin/quillmoor98");
  EXPECT_TRUE(r.Set(false));
  std::string why;
  EXPECT_FALSE(r.Set(true, &why));
  EXPECT_NE(why.find("will not follow the symbolic link"), std::string::npos) << why;
  EXPECT_EQ(ReadText(root_ + "/rootonly/" + StartupRegistration::kEntryName), "keep");
}

}  // namespace
}  // namespace qm::test
