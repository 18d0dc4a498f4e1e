// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include "observe/PrometheusText.h"

namespace qm {
namespace {

bool Has(const std::string& text, const std::string& line) {
  return text.find("\n" + line + "\n") != std::string::npos;
}

TEST(PrometheusTextTest, LabelValuesCannotBreakTheExposition) {
  EXPECT_EQ(PrometheusText::LabelValue("a\"b\\c\nd"), "a\\\"b\\\\c\\nd");
  EXPECT_EQ(PrometheusText::LabelValue("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(PrometheusText::LabelValue("x\xFFy"), "x\xEF\xBF\xBDy");
}

TEST(PrometheusTextTest, SharesClientsAndEveryRuleAreShown) {
  MetricsSnapshot s;
  s.users = 2;
  s.serverReadable = false;
  s.shares["DOCS"] = {2, 5};
  s.shares["we\"ird"] = {1, 0};
  s.disconnections[static_cast<std::size_t>(DisconnectRule::Idle)] = 3;
  std::string text = PrometheusText::Render(s);
  EXPECT_TRUE(Has(text, "quillmoor98_users 2"));
  EXPECT_TRUE(Has(text, "quillmoor98_server_readable 0"));
  EXPECT_TRUE(Has(text, "quillmoor98_shares_in_use 2"));
  EXPECT_TRUE(Has(text, "quillmoor98_share_open_files{share=\"DOCS\"} 5"));
  EXPECT_TRUE(Has(text, "quillmoor98_share_users{share=\"we\\\"ird\"} 1"));
  EXPECT_TRUE(Has(text, "quillmoor98_disconnections_total{rule=\"idle\"} 3"));
  EXPECT_TRUE(Has(text, "quillmoor98_disconnections_total{rule=\"program_watch\"} 0"));
  EXPECT_TRUE(Has(text, "quillmoor98_visits_ended_total{kind=\"file\",status=\"kicked\"} 0"));
  // A visit never begins "Kicked": no series for it while none did.
  EXPECT_FALSE(Has(text, "quillmoor98_visits_begun_total{kind=\"user\",status=\"kicked\"} 0"));
  // Names and addresses only when asked for.
  EXPECT_EQ(text.find("client_info"), std::string::npos);
  s.clients.push_back({"PC1", "alice", "10.0.0.1", ""});
  text = PrometheusText::Render(s);
  EXPECT_TRUE(Has(text,
                  "quillmoor98_client_info{client=\"PC1\",account=\"alice\","
                  "address=\"10.0.0.1\",host=\"\"} 1"));
}

TEST(PrometheusTextTest, HistogramBucketsAddUp) {
  MetricsSnapshot s;
  s.tickSeconds.Observe(0.0005);
  s.tickSeconds.Observe(0.003);
  s.tickSeconds.Observe(0.005);  // on a bound: counted in it
  s.tickSeconds.Observe(100);
  s.tickSeconds.Observe(-1);  // a clock gone wrong counts as 0
  const std::string text = PrometheusText::Render(s);
  EXPECT_TRUE(Has(text, "quillmoor98_tick_duration_seconds_bucket{le=\"0.001\"} 2"));
  EXPECT_TRUE(Has(text, "quillmoor98_tick_duration_seconds_bucket{le=\"0.0025\"} 2"));
  EXPECT_TRUE(Has(text, "quillmoor98_tick_duration_seconds_bucket{le=\"0.005\"} 4"));
  EXPECT_TRUE(Has(text, "quillmoor98_tick_duration_seconds_bucket{le=\"30\"} 4"));
  EXPECT_TRUE(Has(text, "quillmoor98_tick_duration_seconds_bucket{le=\"+Inf\"} 5"));
  EXPECT_TRUE(Has(text, "quillmoor98_tick_duration_seconds_count 5"));
  EXPECT_TRUE(Has(text, "quillmoor98_tick_duration_seconds_sum 100.0085"));
}

}  // namespace
}  // namespace qm
