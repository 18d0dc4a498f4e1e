// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DataFile.h"
#include "platform/samba/SmbStatusParser.h"

namespace qm {
namespace {

using test::DataFile;

SmbStatus Parsed(const std::string& text) {
  SmbStatus status;
  std::string why;
  EXPECT_TRUE(SmbStatusParser::Parse(text, status, why)) << why;
  return status;
}

TEST(SmbStatusParserTest, ReadsCapturedSessionsTreeConnectsAndOpens) {
  const SmbStatus s = Parsed(DataFile("smbstatus-two-clients.json"));
  ASSERT_EQ(s.sessions.size(), 2u);
  const auto& alpha = s.sessions[0].remoteMachine == "alpha" ? s.sessions[0] : s.sessions[1];
  EXPECT_EQ(alpha.remoteMachine, "alpha");
  EXPECT_EQ(alpha.id, "629719456");
  EXPECT_EQ(alpha.pid, 19249);
  EXPECT_EQ(alpha.uid, 65534);
  EXPECT_EQ(alpha.username, "nobody");
  EXPECT_EQ(alpha.hostname, "ipv4:127.0.0.1:55646");

  ASSERT_EQ(s.treeConnects.size(), 2u);
  const auto& data = s.treeConnects[0].service == "data" ? s.treeConnects[0] : s.treeConnects[1];
  EXPECT_EQ(data.sessionId, alpha.id);
  EXPECT_EQ(data.pid, alpha.pid);
  EXPECT_EQ(data.machine, "alpha");

  ASSERT_EQ(s.opens.size(), 1u);
  EXPECT_EQ(s.opens[0].servicePath, "/tmp/qm-samba-SKP0Yd/share");
  EXPECT_EQ(s.opens[0].filename, "hello.txt");
  EXPECT_EQ(s.opens[0].pid, alpha.pid);
  EXPECT_EQ(s.opens[0].uid, 65534);
}

TEST(SmbStatusParserTest, StoppedServerAndRefusedReadingGiveNothing) {
  for (const char* capture : {"smbstatus-stopped.json", "smbstatus-not-root.json"}) {
    const SmbStatus s = Parsed(DataFile(capture));
    EXPECT_TRUE(s.sessions.empty() && s.treeConnects.empty() && s.opens.empty()) << capture;
  }
}

TEST(SmbStatusParserTest, TextThatIsNoJsonObjectFails) {
  const std::string capture = DataFile("smbstatus-two-clients.json");
  for (const std::string& text :
       {std::string(), std::string("smbstatus only works as root!\n"), std::string("[1, 2]"),
        std::string("null"), capture.substr(0, capture.size() / 2)}) {
    SmbStatus status;
    status.sessions.resize(1);
    std::string why;
    EXPECT_FALSE(SmbStatusParser::Parse(text, status, why)) << text;
    EXPECT_FALSE(why.empty());
    EXPECT_TRUE(status.sessions.empty());
  }
}

TEST(SmbStatusParserTest, OddAndMissingFieldsAreTolerated) {
  const SmbStatus s = Parsed(R"({
    "sessions": [
      {"session_id": 7, "server_id": {"pid": 4321}, "uid": "1000", "username": null},
      {"server_id": {"pid": "all"}, "uid": [], "remote_machine": 12},
      {"server_id": {"pid": "-5"}},
      {"server_id": {"pid": "99999999999999999999"}},
      {"server_id": "4321"},
      "not an object", 5, null
    ],
    "tcons": "none",
    "open_files": {"/x": {"service_path": "/x", "filename": "f", "opens": {"a": {}, "b": 1}},
                   "/y": {"opens": null}}
  })");
  ASSERT_EQ(s.sessions.size(), 5u);
  EXPECT_EQ(s.sessions[0].id, "7");
  EXPECT_EQ(s.sessions[0].pid, 4321);
  EXPECT_EQ(s.sessions[0].uid, 1000);
  EXPECT_EQ(s.sessions[0].username, "");
  // A process id that is not a plain positive number is never used.
  for (std::size_t i = 1; i < 5; ++i) EXPECT_EQ(s.sessions[i].pid, 0) << i;
  EXPECT_EQ(s.sessions[1].uid, -1);
  EXPECT_EQ(s.sessions[1].remoteMachine, "12");
  EXPECT_TRUE(s.treeConnects.empty());
  ASSERT_EQ(s.opens.size(), 1u);
  EXPECT_EQ(s.opens[0].pid, 0);
  EXPECT_EQ(s.opens[0].filename, "f");
}

// As a JSON object holds them: the last of equal keys counts (a value that
// is no object removes an entry), entries come in the order of their keys.
TEST(SmbStatusParserTest, RepeatedKeysKeepTheLastValue) {
  const SmbStatus s = Parsed(R"({"tcons": {"x": {}}, "tcons": {
      "b": {"service": "one", "service": "two", "server_id": {"pid": "3"}, "server_id": 4},
      "a": {"service": "first", "signing": {"cipher": "-", "degree": "full"}},
      "c": {"service": "gone"}, "c": 1},
    "open_files": {"/f": {"opens": {"1": {"uid": 5}}, "opens": [{"uid": 6, "uid": 7}],
                          "filename": "n", "filename": "m"}}})");
  ASSERT_EQ(s.treeConnects.size(), 2u);
  EXPECT_EQ(s.treeConnects[0].service, "first");
  EXPECT_EQ(s.treeConnects[0].signing, (SmbStatus::Protection{"", "full"}));
  EXPECT_EQ(s.treeConnects[1].service, "two");
  EXPECT_EQ(s.treeConnects[1].pid, 0);
  ASSERT_EQ(s.opens.size(), 1u);
  EXPECT_EQ(s.opens[0].uid, 7);
  EXPECT_EQ(s.opens[0].filename, "m");
}

TEST(SmbStatusParserTest, HostileNamesArriveIntact) {
  const SmbStatus s = Parsed(
      R"({"sessions": {"1": {"remote_machine": "a\"b'c\\d\nrm -rf /", "username": "x\u0000y"}},
          "open_files": {"/s/\"q\"\n": {"service_path": "/s", "filename": "\"q\"\n",
                                        "opens": {"1/1": {"server_id": {"pid": "42"}}}}}})");
  ASSERT_EQ(s.sessions.size(), 1u);
  EXPECT_EQ(s.sessions[0].remoteMachine, "a\"b'c\\d\nrm -rf /");
  EXPECT_EQ(s.sessions[0].username, std::string("x\0y", 3));
  ASSERT_EQ(s.opens.size(), 1u);
  EXPECT_EQ(s.opens[0].filename, "\"q\"\n");
}

TEST(SmbStatusParserTest, TextThatIsNotUtf8IsRepairedNotRefused) {
  // A file name on disk in Latin-1: "caf\xe9.txt".
  const SmbStatus s = Parsed(
      "{\"sessions\": {\"1\": {\"remote_machine\": \"pc\", \"server_id\": {\"pid\": \"9\"}}},"
      " \"open_files\": {\"/s/caf\xe9.txt\": {\"service_path\": \"/s\", \"filename\":"
      " \"caf\xe9.txt\", \"opens\": {\"9/1\": {\"server_id\": {\"pid\": \"9\"}}}}}}");
  ASSERT_EQ(s.sessions.size(), 1u);
  ASSERT_EQ(s.opens.size(), 1u);
  EXPECT_EQ(s.opens[0].filename, "caf\xEF\xBF\xBD.txt");
}

TEST(SmbStatusParserTest, NodeNumbersOfOtherFormsOrRangesAreUnknown) {
  const SmbStatus s = Parsed(R"({"sessions": [{"server_id": {"vnn": 2}},
      {"server_id": {"vnn": "4294967296"}}, {"server_id": {"vnn": "1x"}},
      {"server_id": {"vnn": "-1"}, "signing": "none", "encryption": []}]})");
  ASSERT_EQ(s.sessions.size(), 4u);
  EXPECT_EQ(s.sessions[0].vnn, 2);
  for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(s.sessions[i].vnn, -1) << i;
  EXPECT_EQ(s.sessions[3].signing, SmbStatus::Protection{});
}

TEST(SmbStatusParserTest, AddressOfConnectionTexts) {
  EXPECT_EQ(SmbStatusParser::AddressOf("ipv4:127.0.0.1:41234"), "127.0.0.1");
  EXPECT_EQ(SmbStatusParser::AddressOf("ipv6:::1:445"), "::1");
  EXPECT_EQ(SmbStatusParser::AddressOf("ipv6:[::1]:445"), "::1");
  EXPECT_EQ(SmbStatusParser::AddressOf("ipv6:fe80::1%eth0:50000"), "fe80::1%eth0");
  EXPECT_EQ(SmbStatusParser::AddressOf("ipv6:2001:db8::7:139"), "2001:db8::7");
  EXPECT_EQ(SmbStatusParser::AddressOf("127.0.0.3"), "127.0.0.3");
  EXPECT_EQ(SmbStatusParser::AddressOf("127.0.0.3:139"), "127.0.0.3");
  for (const char* junk : {"", "ipv4:", "ipv4:999.1.1.1:1", "ipv6:[::1", "ipv4:host.example:1",
                           "unix:/run/samba/x", "alpha"}) {
    EXPECT_EQ(SmbStatusParser::AddressOf(junk), "") << junk;
  }
}

// `smbstatus -L` as Samba 4.17 writes it: blanks in paths and names, lines
// of another shape, what follows the table.
TEST(SmbStatusParserTest, LocksTextGivesEachOpenWithItsShareAndName) {
  const std::string head =
      "\nLocked files:\n"
      "Pid          User(ID)   DenyMode   Access      R/W        Oplock           SharePath   "
      "Name   Time\n"
      "-----------------------------------------------------------------------------------------"
      "---------\n";
  auto line = [](const std::string& pid, const std::string& path, const std::string& name) {
    return pid + "         65534      DENY_NONE  0x1f01ff    RDWR       LEASE(RWH)       " + path +
           "   " + name + "   Mon Dec  7 17:50:34 2026\n";
  };
  const std::vector<std::string> known = {"/srv/my   share", "/srv/a"};
  const auto opens = SmbStatusParser::ParseLocks(
      head + line("4964", "/srv/a", "x.txt") + line("4965", "/srv/my   share", "b c   d.txt") +
          line("0:4966", "/srv/other", "e  f.txt:stream") + "garbage line\n" +
          line("4967", "/srv/a", "no time").substr(0, 80) + "\n" + line("x", "/srv/a", "y") +
          "\nByte range locks:\n" + line("4968", "/srv/a", "after.txt"),
      known);
  std::vector<std::string> got;
  for (const auto& o : opens) {
    got.push_back(std::to_string(o.pid) + " " + std::to_string(o.uid) + " " + o.servicePath + "|" +
                  o.filename);
  }
  EXPECT_EQ(got, (std::vector<std::string>{"4964 65534 /srv/a|x.txt",
                                           "4965 65534 /srv/my   share|b c   d.txt",
                                           "4966 65534 /srv/other|e  f.txt:stream"}));
  EXPECT_TRUE(SmbStatusParser::ParseLocks("No locked files\n", known).empty());

  // Names with line feeds, an empty line among them, are kept whole, and
  // the rows after them are read.
  got.clear();
  for (const auto& o : SmbStatusParser::ParseLocks(
           head + line("7", "/srv/a", "two\nlines") + line("8", "/srv/a", "gap\n\nend\n") +
               line("9", "/srv/a", "after.txt") + line("10", "/srv/a", "cut\n").substr(0, 90),
           known)) {
    got.push_back(std::to_string(o.pid) + " " + o.filename);
  }
  EXPECT_EQ(got, (std::vector<std::string>{"7 two\nlines", "8 gap\n\nend\n", "9 after.txt"}));
}

}  // namespace
}  // namespace qm
