// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <random>
#include <tuple>

#include "EnforceFixture.h"
#include "enforce/DisconnectList.h"
#include "enforce/DisconnectListCommands.h"
#include "enforce/DisconnectListFile.h"

namespace qm::test {
namespace {

TEST(DisconnectList, FindByNameIgnoresCaseOverWholeTextFirstMatch) {
  DisconnectList list;
  list.AddEntry("alpha", "1");
  list.AddEntry("BETA", "2");
  list.AddEntry("Alpha", "3");
  EXPECT_EQ(list.FindByName("ALPHA"), 0);
  EXPECT_EQ(list.FindByName("beta"), 1);
  EXPECT_EQ(list.FindByName("alph"), -1);
  EXPECT_EQ(list.FindByName("alphas"), -1);
  EXPECT_EQ(list.FindByName(""), -1);
}

TEST(DisconnectList, ContainsAddressIsExactAndNeverMatchesPlaceholders) {
  DisconnectList list;
  list.AddEntry("A", "10.0.0.12");
  list.AddEntry("B", kIDontKnow);
  list.AddEntry("C", kNotKnownYet);
  list.AddEntry("D", kNotKnown);
  list.AddEntry("E", "fe80::AB");
  EXPECT_TRUE(list.ContainsAddress("10.0.0.12"));
  EXPECT_FALSE(list.ContainsAddress("10.0.0.1"));
  EXPECT_FALSE(list.ContainsAddress("10.0.0.123"));
  EXPECT_FALSE(list.ContainsAddress("fe80::ab"));
  EXPECT_FALSE(list.ContainsAddress(kIDontKnow));
  EXPECT_FALSE(list.ContainsAddress(kNotKnownYet));
  EXPECT_FALSE(list.ContainsAddress(kNotKnown));
}

// A ban holds by name and by address, since a client picks the name it
// sends; a lookup fills in a placeholder only, so no name moves a ban.
TEST(DisconnectList, ListedNameOrAddressListsTheUserAndLookupsFillPlaceholdersOnly) {
  DisconnectList list;
  list.AddEntry("BANNED", "127.0.65.1");
  list.AddEntry("PC", kIDontKnow);
  list.AddEntry("pc", kIDontKnow);
  EXPECT_FALSE(list.UpdateAddress("BANNED", "127.0.65.2"));
  EXPECT_FALSE(list.UpdateAddress("PC", kNotKnown));
  EXPECT_TRUE(list.UpdateAddress("Pc", "10.1.1.1"));
  EXPECT_TRUE(list.UpdateAddress("PC", "10.3.3.3"));  // the next placeholder of the name
  EXPECT_FALSE(list.UpdateAddress("pc", "10.4.4.4"));
  EXPECT_EQ(list.Entry(1).EntryAddress + list.Entry(2).EntryAddress, "10.1.1.110.3.3.3");
  for (const auto& [name, address, listed] : {std::tuple{"RENAMED", "127.0.65.1", true},
                                              {"banned", "127.0.65.2", true},
                                              {"OTHER", "127.0.65.10", false},
                                              {"OTHER", kNotKnownYet, false}}) {
    EXPECT_EQ(list.ListsUser(name, address), listed) << name << " " << address;
  }
}

TEST(DisconnectList, RemoveKeepsOrderAndIndexFollows) {
  DisconnectList list;
  for (const char* n : {"A", "B", "C", "B"}) list.AddEntry(n, std::string("ip-") + n);
  list.Remove(1);
  list.Remove(99);
  ASSERT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.Entry(1).EntryName, "C");
  EXPECT_EQ(list.FindByName("b"), 2);
  EXPECT_EQ(list.FindByName("c"), 1);
  EXPECT_TRUE(list.ContainsAddress("ip-B"));
  list.Remove(2);
  EXPECT_FALSE(list.ContainsAddress("ip-B"));
}

TEST(DisconnectList, RestoringSnapshotUndoesAddRemoveClearAndUpdate) {
  DisconnectList list;
  list.AddEntry("A", "1");
  list.AddEntry("B", kIDontKnow);
  const auto snapshot = list.Snapshot();
  list.AddEntry("C", "3");
  list.Remove(0);
  list.UpdateAddress("B", "2");
  list.Clear();
  EXPECT_EQ(list.FindByName("B"), -1);
  list.Restore(snapshot);
  EXPECT_EQ(list.Snapshot(), snapshot);
  EXPECT_EQ(list.FindByName("b"), 1);
  EXPECT_TRUE(list.ContainsAddress("1"));
  EXPECT_FALSE(list.ContainsAddress("3"));
}

TEST(DisconnectList, EveryChangeIsAnnounced) {
  DisconnectList list;
  int changes = 0;
  list.SetOnChanged([&] { ++changes; });
  list.AddEntry("A", kIDontKnow);
  list.UpdateAddress("a", "2");
  list.UpdateAddress("a", "3");  // a real address stays: no change
  list.UpdateAddress("missing", "2");
  list.Remove(0);
  list.Clear();
  list.Restore({});
  EXPECT_EQ(changes, 5);
  EXPECT_EQ(list.Revision(), 5u);
}

// The indexes agree with a plain walk over the entries after any mix of
// changes.
TEST(DisconnectList, IndexesAgreeWithEntriesAfterRandomChanges) {
  const std::vector<std::string> names = {"pc", "PC", "Pc1", "lab", "LAB", ""};
  const std::vector<std::string> addresses = {"10.0.0.1", "10.0.0.2", kNotKnownYet,
                                              kNotKnown,  kIDontKnow, ""};
  std::mt19937 random(7);
  auto pick = [&](const std::vector<std::string>& v) { return v[random() % v.size()]; };
  DisconnectList list;
  PackedTexts saved;
  for (int step = 0; step < 3000; ++step) {
    switch (random() % 6) {
      case 0:
      case 1:
        list.AddEntry(pick(names), pick(addresses));
        break;
      case 2:
        list.UpdateAddress(pick(names), pick(addresses));
        break;
      case 3:
        if (list.Count()) list.Remove(random() % list.Count());
        break;
      case 4:
        if (random() % 2) {
          saved = list.Snapshot();
        } else {
          list.Restore(saved);
        }
        break;
      default:
        if (random() % 20 == 0) list.Clear();
    }
    const auto& entries = list.Entries();
    for (const std::string& name : names) {
      int first = -1;
      for (std::size_t i = 0; i < entries.size() && first < 0; ++i) {
        if (SameTextAsciiNoCase(entries[i].EntryName, name)) first = static_cast<int>(i);
      }
      ASSERT_EQ(list.FindByName(name), first) << "step " << step;
      for (const std::string& address : addresses) {
        bool byAddress = false, byName = false;
        for (const auto& e : entries) {
          const bool real = !DisconnectList::IsPlaceholderAddress(e.EntryAddress);
          byAddress |=
              real && e.EntryAddress == address && !DisconnectList::IsPlaceholderAddress(address);
          byName |= SameTextAsciiNoCase(e.EntryName, name);
        }
        ASSERT_EQ(list.ContainsAddress(address), byAddress) << "step " << step;
        ASSERT_EQ(list.ListsUser(name, address), byAddress || byName) << "step " << step;
      }
    }
  }
}

// Each name takes the side that changed its entries since base; the file's
// where both did, with the program's change named. The file's order stays,
// the program's additions follow.
TEST(DisconnectListFile, MergeTakesEachNameFromTheSideThatChangedItTheFileOnBoth) {
  const struct {
    PackedTexts base, ours, disk, merged;
    std::vector<std::string> dropped;
  } cases[] = {
      {{"A", "1", "B", "2", "C", kIDontKnow},
       {"A", "1", "B", "5", "D", "4"},
       {"E", "6", "a", "9", "B", "2", "C", kIDontKnow},
       {"E", "6", "a", "9", "B", "5", "D", "4"},
       {}},
      {{"A", "1", "B", "2"},
       {"A", "7", "X", "3"},
       {"A", "8", "B", "9", "X", "4"},
       {"A", "8", "B", "9", "X", "4"},
       {"the new address of A 7", "the removal of B", "the addition of X 3"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> dropped;
    EXPECT_EQ(DisconnectListFile::Merge(c.base, c.ours, c.disk, dropped), c.merged);
    EXPECT_EQ(dropped, c.dropped);
  }
}

// ---- the dialog's and the main window's commands ----

TEST(DisconnectListCommands, DialogStoresUpperCaseAndRefusesDuplicates) {
  DisconnectList list;
  RecordingMessages messages;
  list.AddEntry("fromfile", "9");
  EXPECT_TRUE(DisconnectListCommands::DialogAddUser(list, messages, " laptop\t", " 10.0.0.1 "));
  EXPECT_EQ(list.Entry(1).EntryName, "LAPTOP");
  EXPECT_EQ(list.Entry(1).EntryAddress, "10.0.0.1");
  EXPECT_TRUE(list.ContainsAddress("10.0.0.1"));
  EXPECT_FALSE(DisconnectListCommands::DialogAddUser(list, messages, "LapTop", "x"));
  EXPECT_FALSE(DisconnectListCommands::DialogAddUser(list, messages, "  ", "x"));
  EXPECT_FALSE(DisconnectListCommands::DialogAddUser(list, messages, "FROMFILE", "x"));
  EXPECT_EQ(messages.information, std::vector<std::string>(2, "User already in Disconnect List!"));
  EXPECT_FALSE(DisconnectListCommands::DialogAddUser(list, messages, "", kIDontKnow));
  EXPECT_EQ(messages.information.size(), 2u);
  EXPECT_EQ(list.Count(), 2u);
}

TEST(DisconnectListCommands, MainWindowAddTakesNameAndAddressOfSelectedUser) {
  DisconnectList list;
  RecordingMessages messages;
  TUser gaveUp("Gave", false, 1.0, "", true);
  gaveUp.IPAddress = kNotKnown;
  TUser pending("pending", false, 1.0, "", true);
  TUser known("Known", false, 1.0, "", true);
  known.IPAddress = "10.0.0.3";
  TShare share("DATA", false, 1.0);
  EXPECT_TRUE(DisconnectListCommands::AddSelectedUser(list, messages, &gaveUp));
  EXPECT_TRUE(DisconnectListCommands::AddSelectedUser(list, messages, &pending));
  EXPECT_TRUE(DisconnectListCommands::AddSelectedUser(list, messages, &known));
  EXPECT_EQ(list.Entries(),
            (std::vector<DisconnectListEntry>{
                {"Gave", kIDontKnow}, {"pending", kNotKnownYet}, {"Known", "10.0.0.3"}}));
  EXPECT_FALSE(DisconnectListCommands::AddSelectedUser(list, messages, &share));
  EXPECT_FALSE(DisconnectListCommands::AddSelectedUser(list, messages, nullptr));
  TUser again("KNOWN", false, 1.0, "", true);
  EXPECT_FALSE(DisconnectListCommands::AddSelectedUser(list, messages, &again));
  EXPECT_EQ(messages.information, (std::vector<std::string>{"No user selected", "No user selected",
                                                            "User already in Disconnect list!"}));
}

TEST(DisconnectListCommands, MainWindowRemoveFindsNameInAnyCase) {
  DisconnectList list;
  RecordingMessages messages;
  list.AddEntry("OFFICE", "1");
  TUser user("office", false, 1.0, "", true);
  TFile file("/x", false, 1.0);
  EXPECT_FALSE(DisconnectListCommands::RemoveSelectedUser(list, messages, &file));
  EXPECT_TRUE(DisconnectListCommands::RemoveSelectedUser(list, messages, &user));
  EXPECT_FALSE(DisconnectListCommands::RemoveSelectedUser(list, messages, &user));
  EXPECT_EQ(messages.information,
            (std::vector<std::string>{"No user selected", "User not in Disconnect list!"}));
  EXPECT_EQ(list.Count(), 0u);
}

}  // namespace
}  // namespace qm::test
