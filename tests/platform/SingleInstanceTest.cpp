// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// Where the instance lock lives, and that another user's file can never
// make our start say "Instance already running!".
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/SingleInstance.h"
#include "support/TempFolder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class SingleInstanceTest : public ::testing::Test {
 protected:
  SingleInstanceTest() {
    ::unsetenv("RUNTIME_DIRECTORY");
    ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  }
  test::TempFolder folder_{"qm-lock"};
  const std::string dir_ = folder_.Path();
};

TEST_F(SingleInstanceTest, RuntimeFolderIsUsedOnlyWhenNoOtherUserMayWriteIt) {
  const uid_t me = ::geteuid();
  EXPECT_EQ(SingleInstance::LockPathFor("Quillmoor98", me), dir_ + "/Quillmoor98.lock");
  // Someone else's folder, or one every user may write, is no place for it.
  const uid_t other = me + 4242;
  EXPECT_EQ(SingleInstance::LockPathFor("Quillmoor98", other),
            "/tmp/Quillmoor98-" + std::to_string(other) + ".lock");
  ::chmod(dir_.c_str(), 01777);
  EXPECT_NE(SingleInstance::LockPathFor("Quillmoor98", me), dir_ + "/Quillmoor98.lock");
  ::unsetenv("XDG_RUNTIME_DIR");
  if (me == 0) {
    EXPECT_EQ(SingleInstance::LockPathFor("Quillmoor98", 0), "/run/quillmoor98/Quillmoor98.lock");
  }
}

TEST_F(SingleInstanceTest, LockFileOfAnotherUserIsNeverTakenForARunningInstance) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file to another user";
  const std::string planted = dir_ + "/Planted.lock";
  const int fd = ::open(planted.c_str(), O_RDONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::fchown(fd, 65534, 65534), 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);  // the other user "runs" it
  SingleInstance instance;
  std::string error;
  EXPECT_EQ(instance.Acquire("Planted", error), SingleInstance::Result::kError);
  EXPECT_NE(error.find("not a file of this user"), std::string::npos) << error;
  ::close(fd);

  fs::remove(planted);
  fs::create_symlink("/etc/passwd", planted);
  EXPECT_EQ(instance.Acquire("Planted", error), SingleInstance::Result::kError);
}

}  // namespace
}  // namespace qm
