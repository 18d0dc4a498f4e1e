// The checks of the helper that sudo runs as root for members of the
// group: what it takes as a process id, and what it refuses to end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/samba/SmbdProcess.h"

namespace qm {
namespace {

TEST(SmbdProcessTest, ProcessIdIsOneToSevenDigitsAndNothingElse) {
  long pid = 0;
  EXPECT_TRUE(SmbdProcess::ParsePid("4194304", pid));
  EXPECT_EQ(pid, 4194304);
  for (const char* bad : {"", "0", "12345678", "-1", "+7", " 7", "7 ", "7x", "smbd", "0x10"}) {
    EXPECT_FALSE(SmbdProcess::ParsePid(bad, pid)) << bad;
  }
}

TEST(SmbdProcessTest, InitAndOtherProgramsAreRefusedWithAReason) {
  std::string why;
  EXPECT_FALSE(SmbdProcess::Check(1, why));
  EXPECT_EQ(why, "process 1 is no client smbd");
  const long parent = static_cast<long>(::getppid());
  EXPECT_FALSE(SmbdProcess::Check(parent, why));
  EXPECT_NE(why.find("not smbd"), std::string::npos) << why;
  EXPECT_FALSE(SmbdProcess::Check(9999999, why));  // no such process
}

}  // namespace
}  // namespace qm
