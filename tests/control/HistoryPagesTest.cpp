// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// GET /v1/history in pages, through the real console.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "control/ControlClient.h"
#include "observe/integration/ConsoleChild.h"

namespace qm::test {
namespace {

TEST(HistoryPagesTest, APageIsASliceOfTheVisitsAndNoPageIsAllOfThem) {
  ConsoleChild console;
  for (const char* client : {"PC1", "PC2", "PC3"}) console.Connect(client);
  console.WriteState();
  const std::string socket = console.Dir() + "/control";
  console.Start({"--step", "--control", socket});
  ASSERT_TRUE(console.WaitFor("tick 1 users 3", std::chrono::seconds(20))) << console.out;
  ControlClient client(socket, 10);
  auto visits = [&](const std::string& query, long status = 200) {
    const ControlClient::Response r = client.Request("GET", "/v1/history" + query);
    EXPECT_EQ(r.status, status) << query << ": " << r.body;
    return status == 200 ? nlohmann::json::parse(r.body) : nlohmann::json();
  };
  const auto page = visits("?offset=1&limit=1");
  ASSERT_EQ(page["visits"].size(), 1u);
  EXPECT_EQ(page["visits"][0]["client"], "PC2");
  EXPECT_EQ(page["offset"], 1);
  EXPECT_EQ(page["total"], 3);
  EXPECT_EQ(visits("")["visits"].size(), 3u) << "callers without pages get every visit";
  EXPECT_EQ(visits("?offset=2")["visits"].size(), 1u);
  EXPECT_EQ(visits("?offset=9&limit=5")["visits"].size(), 0u);
  for (const char* bad : {"?limit=-1", "?offset=x", "?limit=", "?limit=99999999999"}) {
    visits(bad, 400);
  }
}

}  // namespace
}  // namespace qm::test
