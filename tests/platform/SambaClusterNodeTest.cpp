#include <gtest/gtest.h>

#include <string>

#include "platform/samba/SambaClusterNode.h"
#include "platform/samba/SmbStatusParser.h"

namespace qm {
namespace {

using Place = SambaClusterNode::Place;

TEST(SambaClusterNodeTest, OnlyThisNodesSessionsAreLocalAndUnknownsAreNeverEnded) {
  constexpr std::int64_t kNone = kNonClusterVnn;
  struct Case {
    bool clustered;
    std::int64_t pnn, vnn;
    Place place;
  };
  for (const Case& c : {Case{false, -1, kNone, Place::Local}, Case{false, -1, -1, Place::Local},
                        Case{false, -1, 1, Place::Refused}, Case{false, 0, 0, Place::Refused},
                        Case{true, 0, 0, Place::Local}, Case{true, 0, 1, Place::OtherNode},
                        Case{true, 2, 0, Place::OtherNode}, Case{true, -1, 0, Place::Refused},
                        Case{true, 0, kNone, Place::Refused}, Case{true, 0, -1, Place::Refused}}) {
    std::string why;
    EXPECT_EQ(SambaClusterNode::PlaceOf(c.clustered, c.pnn, c.vnn, why), c.place)
        << c.clustered << " " << c.pnn << " " << c.vnn;
    EXPECT_EQ(why.empty(), c.place != Place::Refused);
  }
}

TEST(SambaClusterNodeTest, NodeNumbersAndDestinationsAreReadStrictly) {
  for (const auto& [text, pnn] :
       std::initializer_list<std::pair<const char*, std::int64_t>>{{"0\n", 0},
                                                                   {"PNN:3\n", 3},
                                                                   {" 12 ", 12},
                                                                   {"4294967294", 4294967294},
                                                                   {"4294967295", -1},
                                                                   {"", -1},
                                                                   {"-1", -1},
                                                                   {"1 2", -1},
                                                                   {"node 1", -1}}) {
    EXPECT_EQ(SambaClusterNode::ParsePnn(text), pnn) << text;
  }
  std::int64_t vnn = -1;
  long pid = 0;
  ASSERT_TRUE(SambaClusterNode::ParseDestination(SambaClusterNode::Destination(3, 4567), vnn, pid));
  EXPECT_EQ(vnn, 3);
  EXPECT_EQ(pid, 4567);
  for (const char* bad : {"3", ":4567", "3:", "3:0", "3:12345678", "4294967295:1", "-1:5",
                          "3:4567 ", "3:45:67", "a:1", "1:+5"}) {
    EXPECT_FALSE(SambaClusterNode::ParseDestination(bad, vnn, pid)) << bad;
  }
}

}  // namespace
}  // namespace qm
