// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/ProcProcessList.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

// Links it cannot read come from the helper, asked once per check.
TEST(ProcProcessListTest, LinksItCannotReadComeFromTheHelperOncePerCheck) {
  const fs::path root = fs::temp_directory_path() / ("qm-proc-" + std::to_string(::getpid()));
  fs::create_directories(root / "7");
  fs::create_directories(root / "8");
  std::ofstream(root / "7" / "exe") << "no link";
  fs::create_symlink("/usr/bin/env", root / "8" / "exe");
  fs::create_symlink("/srv", root / "8" / "cwd");
  EXPECT_EQ(ProcProcessList::ListLinks(root.string()), std::string("8\0/usr/bin/env\0/srv\0", 20));

  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, (root / "helper.sock").c_str());
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  std::atomic<int> asked{0};
  std::thread helper([&] {
    for (int i = 0; i < 2; ++i) {
      const int fd = ::accept(listener, nullptr, nullptr);
      ++asked;
      EXPECT_EQ(::write(fd, "7\0/opt/tool\0/home\0", 18), 18);
      ::close(fd);
    }
  });
  ProcProcessList list(root.string(), address.sun_path);
  std::uint32_t ids[8], bytes = 0;
  std::string path;
  for (int check = 1; check <= 2; ++check) {
    ASSERT_TRUE(list.EnumProcesses(ids, sizeof ids, bytes));
    for (int twice = 0; twice < 2; ++twice) {
      ASSERT_TRUE(list.ExecutablePath(7, path));
      EXPECT_EQ(path, "/opt/tool");
    }
    ASSERT_TRUE(list.ExecutablePath(8, path));
    EXPECT_EQ(asked, check);
  }
  helper.join();
  ::close(listener);
  fs::remove_all(root);
}

}  // namespace
}  // namespace qm::test
