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
  std::ofstream(root / "7" / "fd") << "no folder";
  fs::create_symlink("/usr/bin/env", root / "8" / "exe");
  // Of the open files only regular ones are told.
  fs::create_directories(root / "8" / "fd");
  std::ofstream(root / "script.sh") << "#!/bin/sh\n";
  fs::create_symlink(root / "script.sh", root / "8" / "fd" / "10");
  fs::create_symlink("/dev/null", root / "8" / "fd" / "0");
  EXPECT_EQ(ProcProcessList::ListLinks(root.string()),
            "8" + std::string(1, '\0') + "/usr/bin/env" + std::string(1, '\0') +
                (root / "script.sh").string() + std::string(1, '\0'));

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
      EXPECT_EQ(::write(fd, "7\0/opt/tool\0/srv/a.sh\0", 22), 22);
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
    std::vector<std::string> files;
    ASSERT_TRUE(list.OpenFiles(7, files));
    EXPECT_EQ(files, std::vector<std::string>{"/srv/a.sh"});
    ASSERT_TRUE(list.ExecutablePath(8, path));
    EXPECT_EQ(asked, check);
  }
  helper.join();
  ::close(listener);
  fs::remove_all(root);
}

// The helper's answer is taken whole or not at all.
TEST(ProcProcessListTest, ParsesOnlyWholeAnswers) {
  using namespace std::string_literals;
  const std::pair<std::string, int> cases[] = {
      // the processes read, -1: refused
      {""s, 0},
      {"1\0/bin/sh\0/a.sh\0/b\0002\0/bin/x\0"s, 2},
      {"1\0/bin/sh"s, -1},       // cut inside a path
      {"1\0\0"s, -1},            // an empty executable
      {"/a.sh\0"s, -1},          // a file before any process
      {"1\0/bin/sh\0x\0"s, -1},  // neither a path nor an id
  };
  for (const auto& [text, processes] : cases) {
    std::unordered_map<std::uint32_t, ProcProcessList::Links> links;
    EXPECT_EQ(ProcProcessList::ParseLinks(text, links), processes >= 0) << text;
    EXPECT_EQ(links.size(), static_cast<std::size_t>(std::max(processes, 0))) << text;
  }
}

}  // namespace
}  // namespace qm::test
