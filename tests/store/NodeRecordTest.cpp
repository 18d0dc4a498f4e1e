// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "store/NodeRecord.h"

namespace qm {
namespace {

using Bytes = std::array<unsigned char, NodeRecord::kSize>;

void Put(Bytes& b, std::size_t at, std::initializer_list<unsigned char> bytes) {
  for (unsigned char v : bytes) b[at++] = v;
}

void PutText(Bytes& b, std::size_t at, const std::string& text) {
  b[at] = static_cast<unsigned char>(text.size());
  std::memcpy(b.data() + at + 1, text.data(), text.size());
}

// A user record laid out by hand, byte by byte.
Bytes HandBuiltUser() {
  Bytes b{};
  Put(b, 0, {0x00, 0x00, 0x00, 0x00, 0xd0, 0xd5, 0xe1, 0x40});  // 36526.5
  Put(b, 8, {0x00, 0x00, 0x00, 0x00, 0x08, 0xf9, 0xe5, 0x40});  // 45000.25
  PutText(b, 16, "PC-Ünï");
  PutText(b, 272, "bob");
  PutText(b, 303, "192.168.100.200");
  PutText(b, 320, "pc.example.org");
  b[385] = 1;
  Put(b, 386, {0, 0, 0, 0});
  b[390] = stProgramStarted;
  b[391] = stProgramExited;
  return b;
}

std::unique_ptr<TUser> SampleUser() {
  auto owned = std::make_unique<TUser>();
  TUser& u = *owned;
  u.EnterTime = 36526.5;
  u.ExitTime = 45000.25;
  u.Name = "PC-Ünï";
  u.UserName = "bob";
  u.IPAddress = "192.168.100.200";
  u.HostName = "pc.example.org";
  u.EnterStatus = stProgramStarted;
  u.ExitStatus = stProgramExited;
  return owned;
}

TEST(NodeRecordTest, EncodesEveryFieldAtItsOffset) {
  Bytes out{};
  out.fill(0xAA);
  ToNodeRecord(*SampleUser(), 0).Encode(out.data());
  EXPECT_EQ(out, HandBuiltUser());
}

TEST(NodeRecordTest, LevelIsLittleEndianAndUnaligned) {
  NodeRecord r;
  r.Level = 0x01020304;
  r.DiskShare = false;
  Bytes out{};
  r.Encode(out.data());
  EXPECT_EQ(out[385], 0);
  EXPECT_EQ(out[386], 0x04);
  EXPECT_EQ(out[387], 0x03);
  EXPECT_EQ(out[388], 0x02);
  EXPECT_EQ(out[389], 0x01);
  EXPECT_EQ(NodeRecord::DecodeLevel(out.data()), 0x01020304);
  Put(out, 386, {0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(NodeRecord::DecodeLevel(out.data()), -1);
}

TEST(NodeRecordTest, DecodesAHandBuiltRecordIgnoringBytesAfterEachText) {
  Bytes in = HandBuiltUser();
  in[16 + 1 + 8] = 'X';  // past the name's 8 bytes: not part of it
  in[272 + 10] = 'Y';
  in[385] = 7;  // any non-zero DiskShare is true
  const NodeRecord r = NodeRecord::Decode(in.data());
  EXPECT_EQ(r.EnterTime, 36526.5);
  EXPECT_EQ(r.ExitTime, 45000.25);
  EXPECT_EQ(r.Name, "PC-Ünï");
  EXPECT_EQ(r.UserName, "bob");
  EXPECT_EQ(r.IPAddress, "192.168.100.200");
  EXPECT_EQ(r.HostName, "pc.example.org");
  EXPECT_TRUE(r.DiskShare);
  EXPECT_EQ(r.Level, 0);
  EXPECT_EQ(r.EnterStatus, stProgramStarted);
  EXPECT_EQ(r.ExitStatus, stProgramExited);
}

TEST(NodeRecordTest, LengthByteBeyondItsFieldReadsOnlyTheField) {
  Bytes in{};
  in.fill('z');
  in[16] = 255;
  in[272] = 200;  // UserName holds 30 at most
  in[303] = 17;
  in[320] = 65;
  const NodeRecord r = NodeRecord::Decode(in.data());
  EXPECT_EQ(r.Name, std::string(255, 'z'));
  EXPECT_EQ(r.UserName, std::string(30, 'z'));
  EXPECT_EQ(r.IPAddress, std::string(16, 'z'));
  EXPECT_EQ(r.HostName, std::string(64, 'z'));
}

TEST(NodeRecordTest, LongTextsAreCutToTheirFieldsAtACharacterBoundary) {
  TUser u;
  u.IPAddress = std::string(20, '1');
  u.Name = std::string(254, 'n') + "\xC3\xA9";         // é over bytes 255-256
  u.UserName = std::string(28, 'u') + "\xE2\x82\xAC";  // € over bytes 29-31
  u.HostName = std::string(63, 'h') + "\xF0\x9F\x98\x80";
  Bytes out{};
  ToNodeRecord(u, 0).Encode(out.data());
  EXPECT_EQ(out[16], 254);
  EXPECT_EQ(out[272], 28);
  EXPECT_EQ(out[320], 63);
  EXPECT_EQ(out[16 + 255], 0) << "no half character left in the field";
  const NodeRecord r = NodeRecord::Decode(out.data());
  EXPECT_EQ(r.Name, std::string(254, 'n'));
  EXPECT_EQ(r.UserName, std::string(28, 'u'));
  EXPECT_EQ(r.HostName, std::string(63, 'h'));
  EXPECT_EQ(r.IPAddress, std::string(13, '1') + "...");
  // A long IPv6 address is never stored as a shorter address.
  u.IPAddress = "2001:db8::12:3:456";
  ToNodeRecord(u, 0).Encode(out.data());
  EXPECT_EQ(NodeRecord::Decode(out.data()).IPAddress, "2001:db8::12:...");
  u.Name = std::string(300, 'n');
  ToNodeRecord(u, 0).Encode(out.data());
  EXPECT_EQ(NodeRecord::Decode(out.data()).Name, std::string(255, 'n'));
}

TEST(NodeRecordTest, OnlyAUserGivesUserTexts) {
  TShare share;
  share.Name = "docs";
  share.DiskShare = false;
  const NodeRecord r = ToNodeRecord(share, 1);
  EXPECT_EQ(r.Name, "docs");
  EXPECT_FALSE(r.DiskShare);
  EXPECT_EQ(r.Level, 1);
  EXPECT_EQ(r.UserName, "");
  EXPECT_EQ(r.IPAddress, "");
  EXPECT_EQ(r.HostName, "");
}

TEST(NodeRecordTest, LevelChoosesTheKindOfTheRecordMadeFromIt) {
  NodeRecord stored = NodeRecord::Decode(HandBuiltUser().data());
  auto user = CreateFromNodeRecord(stored);
  const auto* u = dynamic_cast<const TUser*>(user.get());
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->Name, "PC-Ünï");
  EXPECT_EQ(u->UserName, "bob");
  EXPECT_EQ(u->IPAddress, "192.168.100.200");
  EXPECT_EQ(u->HostName, "pc.example.org");
  EXPECT_EQ(u->EnterTime, 36526.5);
  EXPECT_EQ(u->ExitTime, 45000.25);
  EXPECT_EQ(u->LastActivity, 0);
  EXPECT_EQ(u->EnterStatus, stProgramStarted);
  EXPECT_EQ(u->ExitStatus, stProgramExited);
  EXPECT_EQ(u->IPThread, nullptr);

  stored.Level = 1;
  stored.DiskShare = false;
  auto share = CreateFromNodeRecord(stored);
  EXPECT_TRUE(IsShare(share.get()));
  EXPECT_FALSE(share->DiskShare);
  stored.Level = 2;
  EXPECT_TRUE(IsFile(CreateFromNodeRecord(stored).get()));
}

}  // namespace
}  // namespace qm
