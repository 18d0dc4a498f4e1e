// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The data and settings files as a local attacker meets them: links,
// FIFOs, devices, huge files and planted modes in a folder they may write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "os/AtomicFile.h"
#include "support/TempFolder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
 protected:
  AtomicFileTest() {
    std::ofstream(secret_) << "root:$6$hash:19000::::::\n";
    ::chmod(secret_.c_str(), 04755);
  }
  std::string File(const std::string& name) const { return dir_ + "/" + name; }
  static mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode;
  }

  test::TempFolder folder_{"qm-atomic"};
  const std::string dir_ = folder_.Path(), secret_ = File("secret");
};

TEST_F(AtomicFileTest, ReadRefusesLinksSpecialFilesAndHugeFilesWithTheirReason) {
  std::string data, error;
  const std::string link = File("KickList.dat");
  fs::create_symlink(secret_, link);
  EXPECT_EQ(ReadDataFile(link, data, error), FileRead::kRefused);
  EXPECT_EQ(error, "Cannot open file " + link + ": it is a symbolic link");
  EXPECT_EQ(data, "");

  // A FIFO without a writer would block an ordinary open for ever.
  const std::string fifo = File("Tree.dat");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadDataFile(fifo, data, error), FileRead::kRefused);
  EXPECT_EQ(error, "Cannot open file " + fifo + ": it is not a regular file");
  EXPECT_EQ(ReadDataFile("/dev/zero", data, error), FileRead::kRefused);

  const std::string big = File("Quillmoor98.ini");
  std::ofstream(big) << "12345";
  EXPECT_EQ(ReadDataFile(big, data, error, 4), FileRead::kRefused);
  EXPECT_NE(error.find(big + ": larger than 4 bytes"), std::string::npos) << error;
  EXPECT_EQ(ReadDataFile(big, data, error, 5), FileRead::kRead);
  EXPECT_EQ(data, "12345");
  EXPECT_EQ(ReadDataFile(File("none"), data, error), FileRead::kMissing);
}

TEST_F(AtomicFileTest, NewFileTakesOurModeNeverThatOfALinkOrTheOldFile) {
  std::string error;
  const std::string link = File("Tree.dat");
  fs::create_symlink(secret_, link);
  ASSERT_TRUE(WriteFileAtomically(link, "new", error, kPrivateFileMode)) << error;
  EXPECT_EQ(ModeOf(link) & 07777, 0600u);  // a regular file of ours replaced the link
  EXPECT_TRUE(S_ISREG(ModeOf(link)));
  EXPECT_EQ(ModeOf(secret_) & 07777, 04755u);  // the target is untouched

  const std::string old = File("KickList.dat");
  std::ofstream(old) << "x";
  ::chmod(old.c_str(), 06777);
  ASSERT_TRUE(WriteFileAtomically(old, "y", error, 06777)) << error;
  EXPECT_EQ(ModeOf(old) & 07000, 0u);  // never set-user-ID or set-group-ID

  const mode_t saved = ::umask(0077);
  ASSERT_TRUE(WriteFileAtomically(old, "z", error, kGroupFileMode)) << error;
  ::umask(saved);
  EXPECT_EQ(ModeOf(old) & 07777, 0600u);  // the umask narrows it
}

TEST_F(AtomicFileTest, SetGroupIdFolderSharesNewFilesWithItsGroup) {
  EXPECT_EQ(DataFileMode(File("Tree.dat")), kPrivateFileMode);
  const std::string shared = File("shared");
  fs::create_directory(shared);
  ASSERT_EQ(::chmod(shared.c_str(), 02770), 0);
  EXPECT_EQ(DataFileMode(shared + "/Tree.dat"), kGroupFileMode);
}

TEST_F(AtomicFileTest, OnlyOldTemporaryFilesOfOurNamesAreRemoved) {
  const std::string ours = ".Tree.dat.quillmoor98-save.";
  // Young: a save that may run now; Locked: one that runs in another copy;
  // the administrator's own copies, whatever their names look like.
  for (const std::string& name : std::vector<std::string>{
           ours + "a1B2c3", ours + "young1", ours + "Locked", ".Other.dat.quillmoor98-save.a1B2c3",
           "Tree.dat.damaged", "Tree.dat.backup", "Tree.dat.202412", "KickList.dat.orig01"}) {
    std::ofstream(File(name)) << "partial";
    const auto age = std::chrono::seconds(name.ends_with("young1") ? 0 : 300);
    fs::last_write_time(File(name), fs::file_time_type::clock::now() - age);
  }
  const int writer = ::open(File(ours + "Locked").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(writer, LOCK_EX), 0);
  fs::create_symlink(secret_, File(".KickList.dat.quillmoor98-save.zzzzzz"));
  const auto removed = RemoveStaleTemporaryFiles(dir_, {"Tree.dat", "KickList.dat"});
  ::close(writer);
  EXPECT_EQ(removed, std::vector<std::string>{File(ours + "a1B2c3")});
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 9);
}

}  // namespace
}  // namespace qm
