// The checks of the helper that sudo runs as root for members of the
// group: what it takes as a process id, and what it refuses to end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/samba/ClientSmbdProcess.h"

namespace qm {
namespace {

TEST(ClientSmbdProcessTest, ProcessIdIsOneToSevenDigitsAndNothingElse) {
  long pid = 0;
  EXPECT_TRUE(ClientSmbdProcess::ParsePid("4194304", pid));
  EXPECT_EQ(pid, 4194304);
  for (const char* bad : {"", "0", "12345678", "-1", "+7", " 7", "7 ", "7x", "smbd", "0x10"}) {
    EXPECT_FALSE(ClientSmbdProcess::ParsePid(bad, pid)) << bad;
  }
}

TEST(ClientSmbdProcessTest, InitAndOtherProgramsAreRefusedWithAReason) {
  std::string why;
  EXPECT_FALSE(ClientSmbdProcess::Check(1, why));
  EXPECT_EQ(why, "process 1 is no client smbd");
  const long parent = static_cast<long>(::getppid());
  EXPECT_FALSE(ClientSmbdProcess::Check(parent, why));
  EXPECT_NE(why.find("not smbd"), std::string::npos) << why;
  EXPECT_FALSE(ClientSmbdProcess::Check(9999999, why));  // no such process
}

}  // namespace
}  // namespace qm
