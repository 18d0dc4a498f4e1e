// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include <sstream>

#include "core/Resources.h"
#include "resolve/NameTable.h"
#include "resolve/SessionListing.h"

namespace qm {
namespace {

using Session = ServerTables::Session;
constexpr std::size_t kColumn = SessionListing::kRemoteColumn - 1;  // from 0

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The lines that list a session (the others are the header block).
std::vector<std::string> SessionLines(const std::string& listing) {
  std::vector<std::string> lines;
  for (const auto& line : SplitLines(listing)) {
    if (line.find("<20>  Connected") != std::string::npos) lines.push_back(line);
  }
  return lines;
}

std::string Names(const std::vector<Session>& s) {
  return SessionListing::Format(s, SessionListing::Remote::Names, "SERVER");
}
std::string Addresses(const std::vector<Session>& s) {
  return SessionListing::Format(s, SessionListing::Remote::Addresses, "SERVER");
}

// The address the name table pairs with name; "Not known" when it lists
// no such name.
std::string Paired(const std::vector<Session>& s, const std::string& name) {
  ListingCapture::Table table;
  EXPECT_TRUE(NameTable::ParseListings(Names(s), Addresses(s), table));
  const auto found = table.find(name);
  return found == table.end() ? std::string(kNotKnown) : found->second;
}

TEST(SessionListing, NamesAndAddressesStartInTheSameColumnInTheSameOrder) {
  const std::vector<Session> sessions = {{"PC1", "alice", 1, "10.0.0.1"},
                                         {"ACCOUNTING-PC", "bob", 2, "127.0.0.1"},
                                         {"B", "carol", 3, "192.168.100.200"}};
  const auto names = SplitLines(Names(sessions));
  const auto addresses = SplitLines(Addresses(sessions));
  ASSERT_EQ(names.size(), addresses.size());
  const auto nameLines = SessionLines(Names(sessions));
  const auto addressLines = SessionLines(Addresses(sessions));
  ASSERT_EQ(nameLines.size(), 3u);
  ASSERT_EQ(addressLines.size(), 3u);
  // Longest name first, the same order in both.
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"ACCOUNTING-PC", "127.0.0.1"}, {"PC1", "10.0.0.1"}, {"B", "192.168.100.200"}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_GT(nameLines[i].size(), 20u);
    EXPECT_GT(addressLines[i].size(), 20u);
    EXPECT_EQ(nameLines[i].substr(0, kColumn), addressLines[i].substr(0, kColumn));
    EXPECT_EQ(nameLines[i].substr(kColumn, expected[i].first.size()), expected[i].first);
    EXPECT_EQ(addressLines[i].substr(kColumn, expected[i].second.size()), expected[i].second);
    EXPECT_EQ(nameLines[i].substr(4, 6), "SERVER");
  }
  // The header block is the same in both.
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i].find("<20>  Connected") == std::string::npos) {
      EXPECT_EQ(names[i], addresses[i]);
    }
  }
}

TEST(SessionListing, EveryComputerPairsWithItsOwnAddress) {
  // Names that hold one another, in the worst order for the pairing.
  const std::vector<Session> sessions = {
      {"PC", "u", 0, "10.0.0.99"},     {"PC1", "u", 0, "10.0.0.1"},
      {"PC10", "u", 0, "10.0.0.10"},   {"XPC1", "u", 0, "10.0.0.11"},
      {"COUNT", "u", 0, "10.0.0.6"},   {"ACCOUNT", "u", 0, "10.0.0.5"},
      {"ÄRGER-PC", "u", 0, "10.0.0.7"}};
  for (const auto& s : sessions) EXPECT_EQ(Paired(sessions, s.client), s.address) << s.client;
  EXPECT_EQ(Paired(sessions, "pc1"), kNotKnown);
}

TEST(SessionListing, HostileNamesKeepOneLinePerSessionAndTheColumn) {
  const std::vector<Session> sessions = {{"A\nB", "u", 0, "10.0.0.1"},
                                         {"C\r\nD", "u", 0, "10.0.0.2"},
                                         {"tab\tname", "u", 0, "10.0.0.3"},
                                         {"\x1b[31mRED", "u", 0, "10.0.0.4"},
                                         {"bad\xff\xfeutf", "u", 0, "10.0.0.5"},
                                         {"c1\xc2\x85x", "u", 0, "10.0.0.6"},
                                         {std::string(1000, 'L'), "u", 0, "10.0.0.7"},
                                         {"with blank", "u", 0, "10.0.0.8"},
                                         {"", "u", 0, "10.0.0.9"},
                                         {"cut\xe2\x82", "u", 0, "10.0.0.10"}};
  const std::string names = Names(sessions);
  const std::string addresses = Addresses(sessions);
  for (char c : names + addresses) {
    const auto b = static_cast<unsigned char>(c);
    EXPECT_TRUE(c == '\n' || (b >= 0x20 && b != 0x7F)) << int(b);
  }
  const auto nameLines = SessionLines(names);
  const auto addressLines = SessionLines(addresses);
  ASSERT_EQ(nameLines.size(), sessions.size());
  ASSERT_EQ(addressLines.size(), sessions.size());
  EXPECT_EQ(SplitLines(names).size(), SplitLines(addresses).size());
  for (std::size_t i = 0; i < nameLines.size(); ++i) {
    EXPECT_EQ(nameLines[i].substr(0, kColumn), addressLines[0].substr(0, kColumn));
  }
  EXPECT_EQ(nameLines[0].substr(kColumn, 1000), std::string(1000, 'L'));
  // A well-formed name keeps its characters; the others cannot be found.
  EXPECT_EQ(Paired(sessions, "with blank"), "10.0.0.8");
  EXPECT_EQ(Paired(sessions, std::string(1000, 'L')), "10.0.0.7");
  EXPECT_EQ(Paired(sessions, "A\nB"), kNotKnown);
}

TEST(SessionListing, PrintableNameReplacesWhatCannotBePrinted) {
  EXPECT_EQ(SessionListing::PrintableName("A\nB"), "A?B");
  EXPECT_EQ(SessionListing::PrintableName("A\x7f"), "A?");
  EXPECT_EQ(SessionListing::PrintableName("bad\xff\xfeutf"), "bad??utf");
  EXPECT_EQ(SessionListing::PrintableName("c1\xc2\x85x"), "c1?x");  // one C1 character
  EXPECT_EQ(SessionListing::PrintableName("cut\xe2\x82"), "cut??");
  EXPECT_EQ(SessionListing::PrintableName("\xc0\xaf"), "??");  // overlong "/"
  EXPECT_EQ(SessionListing::PrintableName("ÄÖÜ-PC 2"), "ÄÖÜ-PC 2");
}

TEST(SessionListing, AddressesPrintWholeAndWhatIsNoAddressPrintsBlank) {
  EXPECT_EQ(SessionListing::PrintableAddress("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(SessionListing::PrintableAddress("::ffff:10.1.2.3"), "10.1.2.3");
  EXPECT_EQ(SessionListing::PrintableAddress("::1"), "::1");
  EXPECT_EQ(SessionListing::PrintableAddress("2001:DB8:0:0:1234:5678::1"),
            "2001:db8::1234:5678:0:1");
  EXPECT_EQ(SessionListing::PrintableAddress("fe80::a00:27ff:fe4e:66a1%eth0"),
            "fe80::a00:27ff:fe4e:66a1%eth0");
  EXPECT_EQ(SessionListing::PrintableAddress("fe80::1%"), "");
  EXPECT_EQ(SessionListing::PrintableAddress("fe80::1%eth0 x"), "");
  EXPECT_EQ(SessionListing::PrintableAddress("not an address"), "");
  EXPECT_EQ(SessionListing::PrintableAddress("10.0.0.1\n"), "");
  EXPECT_EQ(SessionListing::PrintableAddress(""), "");
  // The longest printed form, and one with a zone, pair whole.
  const std::string longest = "ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255";
  ASSERT_EQ(longest.size(), 45u);
  const std::vector<Session> sessions = {{"PC1", "u", 0, longest},
                                         {"PC2", "u", 0, "fe80::1%enp0s31f6"},
                                         {"PC3", "u", 0, "no address"}};
  EXPECT_EQ(Paired(sessions, "PC1"), "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff");
  EXPECT_EQ(Paired(sessions, "PC2"), "fe80::1%enp0s31f6");
  EXPECT_EQ(Paired(sessions, "PC3"), "");  // blank, which the lookup gives as "Not known"
}

TEST(SessionListing, EmptyTableListsNoConnections) {
  const std::string names = Names({});
  EXPECT_NE(names.find("No Connections"), std::string::npos);
  for (const auto& line : SplitLines(names)) EXPECT_LE(line.size(), 20u);
  EXPECT_EQ(names, Addresses({}));
}

}  // namespace
}  // namespace qm
