// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include "DataFile.h"
#include "platform/samba/SambaShareList.h"

namespace qm {
namespace {

TEST(SambaShareListTest, ReadsCapturedTestparmOutput) {
  const SambaShareList list = SambaShareList::Parse(test::DataFile("testparm-private.txt"));
  ASSERT_EQ(list.Shares().size(), 2u);
  EXPECT_EQ(list.Shares()[0].name, "data");
  EXPECT_EQ(list.Shares()[0].path, "/tmp/qm-samba-SKP0Yd/share");
  EXPECT_FALSE(list.Shares()[0].printable);
  EXPECT_EQ(list.Shares()[1].name, "queue");
  EXPECT_TRUE(list.Shares()[1].printable);
  EXPECT_EQ(list.Global("pid directory"), "/tmp/qm-samba-SKP0Yd/pid");
  EXPECT_EQ(list.Global("PID_Directory"), "/tmp/qm-samba-SKP0Yd/pid");
  EXPECT_EQ(list.Global("lock dir"), "");
  EXPECT_FALSE(list.Homes());
  EXPECT_FALSE(list.Printers());
  EXPECT_EQ(list.Find("DATA"), &list.Shares()[0]);
  EXPECT_EQ(list.Find("nothing"), nullptr);
}

TEST(SambaShareListTest, TemplatesStandApartFromShares) {
  const SambaShareList list = SambaShareList::Parse(
      "[global]\n\tworkgroup = W\n"
      "[homes]\n\tbrowseable = No\n"
      "[printers]\n\tpath = /var/spool/samba\n\tprintable = No\n"
      "[Global]\n\tload printers = yes\n");
  EXPECT_TRUE(list.Shares().empty());
  ASSERT_TRUE(list.Homes());
  EXPECT_EQ(list.Homes()->path, "");
  ASSERT_TRUE(list.Printers());
  EXPECT_TRUE(list.Printers()->printable);  // [printers] makes print queues only
  EXPECT_EQ(list.Printers()->path, "/var/spool/samba");
  EXPECT_EQ(list.Global("load printers"), "yes");
}

TEST(SambaShareListTest, PrintQueueSpellingsAndOddLines) {
  const SambaShareList list = SambaShareList::Parse(
      "# comment\r\n"
      "stray = before any section\n"
      "[laser]\r\n\tPrint OK = YES\r\n\tpath = /srv/a = b \r\n"
      "[ink]\n\tprint_ok = true\n"
      "[docs]\n\tprintable = no\n\tno equals sign here\n\t= empty key\n"
      "[odd]name]\n\tpath =\n"
      "[unclosed\n\tdirectory = /srv/u\n");
  ASSERT_EQ(list.Shares().size(), 5u);
  EXPECT_EQ(list.Shares()[0].name, "laser");
  EXPECT_TRUE(list.Shares()[0].printable);
  EXPECT_EQ(list.Shares()[0].path, "/srv/a = b");
  EXPECT_TRUE(list.Shares()[1].printable);
  EXPECT_FALSE(list.Shares()[2].printable);
  EXPECT_EQ(list.Shares()[3].name, "odd]name");
  EXPECT_EQ(list.Shares()[3].path, "");
  EXPECT_EQ(list.Shares()[4].name, "unclosed");
  EXPECT_EQ(list.Shares()[4].path, "/srv/u");
  EXPECT_EQ(list.Global("stray"), "");
}

}  // namespace
}  // namespace qm
