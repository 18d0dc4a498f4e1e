// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "ObserveWorld.h"
#include "observe/EventStream.h"
#include "observe/JsonEventWriter.h"
#include "observe/MetricsSnapshot.h"
#include "observe/TextEventWriter.h"
#include "os/ProcessRunner.h"
#include "support/EventRecorder.h"
#include "support/ScopedVariable.h"
#include "support/TempFolder.h"

namespace qm::test {
namespace {

class EventStreamTest : public ::testing::Test {
 protected:
  EventStreamTest() {
    w.monitor.SetTelemetry(&stream);
    w.monitor.TreeViewCurrent.AddObserver(&stream);
  }
  ~EventStreamTest() override { w.monitor.TreeViewCurrent.RemoveObserver(&stream); }

  ObserveWorld w;
  EventStream stream{[] { return 1.7e9; }};
  EventRecorder recorder{stream};
  std::vector<ConnectionEvent>& events = recorder.events;
};

// Their JSON lines follow the published schema.
void ExpectLinesFollowTheSchema(const std::vector<ConnectionEvent>& events) {
  TempFolder dir;
  std::string lines;
  for (const ConnectionEvent& e : events) lines += JsonEventWriter::Line(e) + "\n";
  WriteText(dir.File("events.jsonl"), lines);
  const std::string source = std::getenv("QM_SOURCE_DIR") ? std::getenv("QM_SOURCE_DIR") : "..";
  const ProcessResult r =
      ProcessRunner::Run({"python3", source + "/tests/observe/integration/validate_events.py",
                          source + "/docs/events.schema.json", dir.File("events.jsonl")});
  EXPECT_TRUE(r.Succeeded()) << r.out << r.err;
}

TEST_F(EventStreamTest, DisconnectionEndsNameTheRuleUntilTheUserIsGone) {
  w.settings.MaxNumber = 1;
  w.Connect("PC1", "DOCS");
  w.Tick();
  w.Connect("PC2", "DOCS", 1);
  w.Tick();  // PC2 is one too many
  w.Tick();  // and now gone
  ASSERT_EQ(events.size(), 8u);
  const ConnectionEvent& file = events[5];
  EXPECT_EQ(file.type, ConnectionEvent::Type::End);
  EXPECT_EQ(file.kind, ConnectionEvent::Kind::File);
  EXPECT_EQ(file.client, "PC2");
  EXPECT_EQ(file.share, "DOCS");
  EXPECT_EQ(file.path, "/srv/DOCS/PC20");
  EXPECT_EQ(file.account, "user-PC2");
  EXPECT_EQ(file.address, "");  // not known yet
  EXPECT_EQ(file.status, stKicked);
  EXPECT_EQ(file.rule, DisconnectRule::MaximumUsers);
  EXPECT_EQ(events[7].kind, ConnectionEvent::Kind::User);
  EXPECT_EQ(events[7].rule, DisconnectRule::MaximumUsers);
  // The same client back: a new visit, which ends by no rule.
  w.settings.MaxNumber = 0;
  w.Connect("PC2", "DOCS");
  w.Tick();
  w.backend.tables.connections.pop_back();
  w.Tick();
  ASSERT_EQ(events.size(), 12u);
  EXPECT_EQ(events[11].client, "PC2");
  EXPECT_EQ(events[11].status, stLoggedOff);
  EXPECT_FALSE(events[11].rule);
}

TEST_F(EventStreamTest, FoundAddressIsAnEventAndTheEndCarriesIt) {
  w.Connect("PC1", "DOCS");
  w.Tick();
  TUser* user = w.monitor.Users.Find("PC1")->User();
  stream.LookupFinished(*user, false);  // nothing found: nothing to say
  user->IPAddress = "192.168.1.20";
  user->HostName = "pc1.lan";
  stream.LookupFinished(*user, true);
  w.backend.tables.connections.clear();
  w.Tick();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[2].type, ConnectionEvent::Type::Found);
  EXPECT_EQ(events[4].type, ConnectionEvent::Type::End);
  for (const ConnectionEvent& e : {events[2], events[4]}) {
    EXPECT_EQ(e.kind, ConnectionEvent::Kind::User);
    EXPECT_EQ(e.client + " " + e.address + " " + e.host, "PC1 192.168.1.20 pc1.lan");
  }
  EXPECT_EQ(nlohmann::json::parse(JsonEventWriter::Line(events[2]))["event"], "found");
  ExpectLinesFollowTheSchema(events);
}

TEST_F(EventStreamTest, WeaknessesAreToldWhenFirstSeenAndFactsRideOnEveryEvent) {
  SessionSecurity& f = w.backend.tables.security["PC1"];
  f.node = "2";
  f.dialect = "NT1";
  f.signing = f.encryption = "none";
  f.unencryptedShares = {"DOCS"};
  w.Connect("PC1", "DOCS");
  w.Tick();
  // Then PC1 signs, and uses MUSIC unencrypted too: only that is new.
  f.signing = "partial";
  f.unencryptedShares.push_back("MUSIC");
  w.Connect("PC1", "MUSIC");
  w.Tick();
  w.Tick();
  std::vector<std::string> told;
  for (const auto& e : events)
    told.push_back(KindName(e.kind) + (" " + e.share) + FindingName(e.finding));
  EXPECT_EQ(told, (std::vector<std::string>{"user ", "security smb1", "security unsigned",
                                            "share DOCS", "security DOCSunencrypted", "share MUSIC",
                                            "security MUSICunencrypted"}));
  EXPECT_EQ(events.back().security, f);
  const auto j = nlohmann::json::parse(JsonEventWriter::Line(events[4]));
  EXPECT_EQ(j["event"], "unencrypted");
  EXPECT_EQ(j["node"], "2");
  EXPECT_EQ(j["signing"], "none");
  EXPECT_FALSE(j.contains("signing_cipher"));
  ExpectLinesFollowTheSchema(events);
}

TEST_F(EventStreamTest, EverySinkHearsTheSameEventsForAsLongAsItsSubscriptionLives) {
  EventRecorder all(stream, true);
  auto leaving = std::make_unique<EventRecorder>(stream, true);
  w.Connect("PC1", "DOCS");
  w.Tick();
  stream.LookupFinished(*w.monitor.Users.Find("PC1")->User(), false);
  leaving.reset();  // a sink that goes is told nothing more
  w.rules.Status().SetWhoToKick(KickAll);
  w.Tick();
  w.Tick();
  ConnectionEvent audit;  // a fact from outside a reading, published between ticks
  audit.kind = ConnectionEvent::Kind::File;
  stream.Publish(audit);
  stream.Publish(ControlEvent{"settings", "Refresh=5", 1000, 0, "", "", ""});
  std::vector<std::string> told;
  for (const ConnectionEvent& e : all.events) {
    told.push_back(std::string(TypeName(e.type)) + " " + KindName(e.kind) +
                   (e.rule ? std::string(" ") + RuleLabel(*e.rule) : ""));
  }
  EXPECT_EQ(told, (std::vector<std::string>{"begin user", "begin share", "not_found user",
                                            "disconnect user all", "end share all", "end user all",
                                            "begin file"}));
  EXPECT_EQ(all.events.back().time, 1.7e9);  // the present time, given by the stream
  EXPECT_EQ(recorder.controls.size(), 1u);
  EXPECT_EQ(recorder.events.size(), 5u);  // not told: the lookup without result, the request
  auto gone = std::make_unique<EventStream>();
  Subscription late = gone->Subscribe(all);
  gone.reset();  // a subscription may outlive its stream
  late.Reset();
}

TEST(TextEventWriterTest, TextLinesCarryWhatTheJsonCarries) {
  using T = ConnectionEvent::Type;
  using K = ConnectionEvent::Kind;
  auto line = [](T type, K kind, std::string share, std::optional<DisconnectRule> rule = {},
                 ConnectionEvent::Finding finding = ConnectionEvent::Finding::None) {
    ConnectionEvent e;
    e.type = type;
    e.kind = kind;
    e.status = stLoggedOn;
    e.client = "PC1\n";
    e.address = "10.0.0.1";
    e.share = std::move(share);
    e.path = kind == K::File ? "/a\t" : "";
    e.rule = rule;
    e.finding = finding;
    e.security.node = "2";
    return TextEventWriter::Line(e);
  };
  EXPECT_EQ(line(T::Begin, K::User, ""), "connected  user PC1\\x0A  (Logged on)  node 2");
  EXPECT_EQ(line(T::Begin, K::File, "DOCS"),
            "connected  file PC1\\x0A > DOCS > /a\\x09  (Logged on)");
  EXPECT_EQ(line(T::End, K::Share, "DOCS", DisconnectRule::Idle),
            "ended      share PC1\\x0A > DOCS  (Logged on)  rule idle");
  EXPECT_EQ(line(T::Begin, K::Security, "DOCS", {}, ConnectionEvent::Finding::Unencrypted),
            "security   share PC1\\x0A > DOCS  (unencrypted)");
  EXPECT_EQ(line(T::Found, K::User, ""),
            "found      user PC1\\x0A  (address 10.0.0.1, host not known)");
  EXPECT_EQ(line(T::Disconnect, K::User, "", DisconnectRule::Idle), "");  // told by the end
  std::ostringstream out;
  TextEventWriter(out).Control(ControlEvent{"disconnect", "PC1", 1000, 1.7e9, "", "", ""});
  EXPECT_NE(out.str().find("  control    uid 1000: disconnect PC1\n"), std::string::npos);
}

TEST(JsonEventWriterTest, LineIsOneObjectWithNullForWhatIsNotKnown) {
  ConnectionEvent e;
  e.type = ConnectionEvent::Type::End;
  e.kind = ConnectionEvent::Kind::Share;
  e.status = stKicked;
  e.client = "PC\n1\xFF";
  e.share = "DOCS";
  e.rule = DisconnectRule::DisconnectList;
  e.time = 1700000000.25;
  const std::string line = JsonEventWriter::Line(e);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  const auto j = nlohmann::json::parse(line);
  EXPECT_EQ(j["event"], "end");
  EXPECT_EQ(j["kind"], "share");
  EXPECT_EQ(j["status"], "kicked");
  EXPECT_EQ(j["client"], "PC\n1\xEF\xBF\xBD");
  EXPECT_TRUE(j["account"].is_null());
  EXPECT_TRUE(j["path"].is_null());
  EXPECT_EQ(j["rule"], "disconnect_list");
}

TEST(JsonEventWriterTest, TimeCarriesTheLocalOffset) {
  {
    const ScopedTimeZone india("IST-5:30");
    EXPECT_EQ(JsonEventWriter::IsoTime(1700000000.9996), "2023-11-15T03:43:21.000+05:30");
  }
  const ScopedTimeZone west("UTC+3");
  EXPECT_EQ(JsonEventWriter::IsoTime(1700000000.25), "2023-11-14T19:13:20.250-03:00");
}

}  // namespace
}  // namespace qm::test
