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

// A link the program cannot read itself comes from the helper, asked once
// per check; what the helper writes is what it reads back.
TEST(ProcProcessListTest, LinksItCannotReadComeFromTheHelperOncePerCheck) {
  const fs::path root = fs::temp_directory_path() / ("qm-proc-" + std::to_string(::getpid()));
  fs::create_directories(root / "7");
  fs::create_directories(root / "8");
  std::ofstream(root / "7" / "exe") << "not a link";
  fs::create_symlink("/usr/bin/env", root / "8" / "exe");
  fs::create_symlink("/srv", root / "8" / "cwd");
  const std::string listed = ProcProcessList::ListLinks(root.string());
  EXPECT_EQ(listed, std::string("8\0/usr/bin/env\0/srv\0", 20));

  const std::string socketPath = (root / "helper.sock").string();
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  std::atomic<int> asked{0};
  std::thread helper([&] {
    for (int i = 0; i < 2; ++i) {
      const int fd = ::accept(listener, nullptr, nullptr);
      ++asked;
      const std::string answer("7\0/opt/app/bin/tool\0/home/ann\0", 30);
      EXPECT_EQ(::write(fd, answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
      ::close(fd);
    }
  });

  ProcProcessList list(root.string(), socketPath);
  std::uint32_t ids[8];
  std::uint32_t bytes = 0;
  std::string path;
  for (int check = 1; check <= 2; ++check) {
    ASSERT_TRUE(list.EnumProcesses(ids, sizeof ids, bytes));
    ASSERT_TRUE(list.ExecutablePath(7, path));
    EXPECT_EQ(path, "/opt/app/bin/tool");
    ASSERT_TRUE(list.ExecutablePath(7, path));
    ASSERT_TRUE(list.ExecutablePath(8, path));
    EXPECT_EQ(path, "/usr/bin/env");
    EXPECT_EQ(asked, check);
  }
  helper.join();
  ::close(listener);

  std::unordered_map<std::uint32_t, ProcProcessList::Links> links;
  EXPECT_FALSE(ProcProcessList::ParseLinks(std::string("7\0/a\0", 5), links));
  EXPECT_FALSE(ProcProcessList::ParseLinks(std::string("x\0/a\0/b\0", 8), links));
  EXPECT_FALSE(ProcProcessList::ParseLinks("7", links));
  fs::remove_all(root);
}

}  // namespace
}  // namespace qm::test
