// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include "observe/ListenAddress.h"

namespace qm {
namespace {

TEST(ListenAddressTest, PortAloneListensOnLoopback) {
  std::string error;
  const auto a = ListenAddress::Parse("19098", error);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->ToString(), "127.0.0.1:19098");
  const auto six = ListenAddress::Parse("[::1]:0", error);
  ASSERT_TRUE(six);
  EXPECT_TRUE(six->ipv6);
  EXPECT_EQ(six->port, 0);
  EXPECT_EQ(ListenAddress::Parse("0.0.0.0:65535", error)->ToString(), "0.0.0.0:65535");
}

TEST(ListenAddressTest, AnythingElseIsRefusedWithAReason) {
  for (const char* bad : {"", "65536", "-1", "19098x", "host.example:19098", "::1:19098",
                          "[nonsense]:1", "127.0.0.1:", ":19098", "1.2.3.4.5:80"}) {
    std::string error;
    EXPECT_FALSE(ListenAddress::Parse(bad, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

}  // namespace
}  // namespace qm
