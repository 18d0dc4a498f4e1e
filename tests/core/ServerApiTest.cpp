// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <type_traits>

#include "core/ServerApi.h"
#include "platform/InMemoryServerBackend.h"

namespace qm {
namespace {

ServerTables SampleTables() {
  ServerTables t;
  t.shares = {{"IPC$", "", 3}, {"DOCS", "/srv/docs", 0}, {"LASER", "/var/spool", 1}};
  t.connections = {{"DOCS", "PC1", "alice"}, {"LASER", "PC1", "alice"}, {"DOCS", "PC2", "bob"}};
  t.files = {{"DOCS", "PC1", "alice", "/srv/docs/a.odt"},
             {"DOCS", "PC2", "bob", "/srv/docs/b.odt"},
             {"LASER", "PC1", "alice", "/var/spool/job1"}};
  t.sessions = {{"PC1", "alice", 17, "127.0.0.1"}, {"PC2", "bob", 18, "127.0.0.2"}};
  return t;
}

class BindingTest : public ::testing::TestWithParam<bool> {
 protected:
  BindingTest() : backend_(GetParam()), api_(backend_) { backend_.tables = SampleTables(); }
  bool Is95() const { return GetParam(); }
  std::string S(PlatformString p) const { return api_.FromPlatformString(p); }

  InMemoryServerBackend backend_;
  ServerApi api_;
};

TEST_P(BindingTest, LoadPicksTheFamilyFromBit31) {
  EXPECT_EQ(api_.LoadServerApi(), Is95() ? 1 : 0);
  EXPECT_EQ(api_.IsNT(), !Is95());
}

TEST_P(BindingTest, SharesListedWithTypeAndOutOfRangeValues) {
  api_.LoadServerApi();
  ASSERT_EQ(api_.SharesInit(), 3);
  EXPECT_EQ(S(api_.ShareName(1)), "DOCS");
  EXPECT_EQ(S(api_.SharePath(1)), "/srv/docs");
  EXPECT_EQ(api_.ShareType(2), 1);
  EXPECT_EQ(api_.ShareType(1), 0);
  EXPECT_EQ(api_.ShareType(3), 65535);
  EXPECT_EQ(api_.ShareType(-1), 65535);
  EXPECT_EQ(api_.ShareName(3), nullptr);
  EXPECT_EQ(api_.SharePath(-1), nullptr);
  EXPECT_EQ(api_.SharesExit(), 0);
  EXPECT_EQ(api_.SharesExit(), 0);  // a second release does nothing
  EXPECT_EQ(api_.ShareName(0), nullptr);
}

TEST_P(BindingTest, ConnectionFieldsSwapOn95) {
  api_.LoadServerApi();
  api_.SharesInit();
  const PlatformText docs = api_.ToPlatformString("DOCS");
  ASSERT_EQ(api_.ConnectionsInit(docs.get()), 2);
  // The accessor names are family-neutral: the client key and the account.
  EXPECT_EQ(S(api_.ConnectionClient(0)), "PC1");
  EXPECT_EQ(S(api_.ConnectionUser(0)), "alice");
  EXPECT_EQ(S(api_.ConnectionClient(1)), "PC2");
  EXPECT_EQ(api_.ConnectionClient(2), nullptr);
  EXPECT_EQ(api_.ConnectionsExit(), 0);
}

TEST_P(BindingTest, ConnectionsOfAnUnlistedShareGive2310) {
  api_.LoadServerApi();
  api_.SharesInit();
  const PlatformText gone = api_.ToPlatformString("GONE");
  EXPECT_EQ(api_.ConnectionsInit(gone.get()), -2310);
  EXPECT_EQ(api_.ConnectionsExit(), 0);
}

TEST_P(BindingTest, FilesFilteredOnNtOnly) {
  api_.LoadServerApi();
  api_.SharesInit();
  const PlatformText user = api_.ToPlatformString("alice");
  const PlatformText base = api_.ToPlatformString("/srv/docs");
  const int k = api_.FilesInit(user.get(), base.get());
  if (Is95()) {
    ASSERT_EQ(k, 3);  // 95/98 lists every open file whatever it is given
    EXPECT_EQ(S(api_.OpenFileUser(0)), "PC1");
    EXPECT_EQ(S(api_.OpenFileShare(2)), "LASER");
  } else {
    ASSERT_EQ(k, 1);
    EXPECT_EQ(S(api_.OpenFilePath(0)), "/srv/docs/a.odt");
    EXPECT_EQ(S(api_.OpenFileUser(0)), "alice");
    EXPECT_EQ(api_.OpenFileShare(0), nullptr);
  }
  EXPECT_EQ(api_.FilesExit(), 0);
}

TEST_P(BindingTest, NullUserListsFilesOfAllUsersUnderThePath) {
  api_.LoadServerApi();
  api_.SharesInit();
  const PlatformText base = api_.ToPlatformString("/srv/docs");
  EXPECT_EQ(api_.FilesInit(nullptr, base.get()), Is95() ? 3 : 2);
  api_.FilesExit();
}

TEST_P(BindingTest, SessionKeysPerFamily) {
  api_.LoadServerApi();
  ASSERT_EQ(api_.SessionsInit(), 2);
  EXPECT_EQ(S(api_.SessionClient(1)), "PC2");
  EXPECT_EQ(S(api_.SessionUser(1)), "bob");
  EXPECT_EQ(api_.SessionKey(0), Is95() ? 17 : 0);
  EXPECT_EQ(api_.SessionKey(5), Is95() ? -1 : 0);
  EXPECT_EQ(api_.SessionsExit(), 0);
  EXPECT_EQ(api_.SessionsExit(), 0);
}

TEST_P(BindingTest, FailuresComeBackNegated) {
  api_.LoadServerApi();
  backend_.failures[ServerCall::NetShareEnum] = NERR_ServerNotStarted;
  EXPECT_EQ(api_.SharesInit(), -2114);
  EXPECT_EQ(api_.SharesExit(), 0);
  backend_.failures[ServerCall::NetShareEnum] = ERROR_ACCESS_DENIED;
  EXPECT_EQ(api_.SharesInit(), -5);
  api_.SharesExit();
}

TEST_P(BindingTest, EmptyEnumerationGivesZeroAndAllocatesNothing) {
  backend_.tables.sessions.clear();
  api_.LoadServerApi();
  EXPECT_EQ(api_.SessionsInit(), 0);
  EXPECT_EQ(api_.LastBufferSize(ServerApi::kSessions), 0u);
  EXPECT_EQ(api_.SessionsExit(), 0);
}

TEST_P(BindingTest, DeleteSessionEndsTheClient) {
  api_.LoadServerApi();
  const std::string name = Is95() ? "PC1" : "\\\\PC1";
  const PlatformText client = api_.ToPlatformString(name);
  EXPECT_EQ(api_.DeleteSession(client.get(), nullptr, 17), 0u);
  ASSERT_EQ(api_.SessionsInit(), 1);
  EXPECT_EQ(S(api_.SessionClient(0)), "PC2");
  api_.SessionsExit();
  EXPECT_EQ(api_.DeleteSession(client.get(), nullptr, 17), NERR_ClientNameNotFound);
}

TEST_P(BindingTest, StringConversionKeepsUtf8AndMapsEmptyToNull) {
  api_.LoadServerApi();
  const PlatformText empty = api_.ToPlatformString("");
  EXPECT_TRUE(empty.get().IsNull());
  EXPECT_EQ(api_.FromPlatformString(nullptr), "");
  const std::string text = "Zoë-Ω-😀";
  const PlatformText p = api_.ToPlatformString(text);
  EXPECT_EQ(api_.FromPlatformString(p.get()), text);
  EXPECT_TRUE(api_.SameText(p.get(), text));
  EXPECT_FALSE(api_.SameText(p.get(), "Zoë-Ω-"));
  EXPECT_FALSE(api_.SameText(p.get(), text + "x"));
  const PlatformText zo = api_.ToPlatformString("Zo");
  EXPECT_FALSE(api_.SameText(zo, "Zoë"));
  EXPECT_TRUE(api_.SameText(nullptr, "") && api_.EmptyText(nullptr));
  EXPECT_FALSE(api_.EmptyText(p.get()));
  EXPECT_EQ(api_.MatchedText(p.get(), text.c_str()), text.size());
  EXPECT_EQ(api_.MatchedText(p.get(), "Zoë-Ω"), std::string::npos);
  EXPECT_EQ(api_.MatchedText(zo, "Zoë"), std::string::npos);
}

// A view of a temporary text would point at freed characters: it does not
// compile. The text itself owns its characters, so the string it was made
// from may go first, in either family.
static_assert(std::is_convertible_v<const PlatformText&, PlatformString>);
static_assert(!std::is_convertible_v<PlatformText, PlatformString>);
static_assert(!std::is_convertible_v<const PlatformText&&, PlatformString>);

TEST_P(BindingTest, PlatformTextOutlivesTheStringItWasMadeFrom) {
  api_.LoadServerApi();
  const std::string text(40, 'a');  // too long to live inside a string object
  PlatformText made = api_.ToPlatformString(std::string(text));
  const std::string after(40, 'b');  // may take the freed string's place
  const PlatformText moved = std::move(made);
  EXPECT_EQ(S(moved), text);
  EXPECT_EQ(S(made), "");
  const PlatformText shortText = api_.ToPlatformString(std::string("DOCS"));
  api_.SharesInit();
  ASSERT_EQ(api_.ConnectionsInit(shortText), 2);
  EXPECT_EQ(api_.ConnectionsExit(), 0);
}

// A reading that shares rows with the one before lists its own rows all
// the same, whatever was removed, changed, added or moved; a result taken
// before keeps its texts.
TEST(BindingNtTest, EveryReadingListsItsOwnRows) {
  InMemoryServerBackend backend;
  ServerApi api(backend);
  api.LoadServerApi();
  auto& files = backend.tables.files;
  for (int i = 0; i < 60; ++i) files.push_back({"DOCS", "PC1", "alice", "/d/" + std::to_string(i)});
  auto listed = [&] {
    std::vector<std::string> rows;
    const int n = api.FilesInit(nullptr, nullptr);
    for (int i = 0; i < n; ++i) {
      rows.push_back(api.FromPlatformString(api.OpenFilePath(i)) + "|" +
                     api.FromPlatformString(api.OpenFileUser(i)));
    }
    api.FilesExit();
    return rows;
  };
  auto expected = [&] {
    std::vector<std::string> rows;
    for (const auto& f : files) rows.push_back(f.path + "|" + f.user);
    return rows;
  };
  auto read = [&] {
    api.SharesInit();
    api.SharesExit();
  };
  read();
  ASSERT_EQ(api.FilesInit(nullptr, nullptr), 60);  // held across the next reading
  files.erase(files.begin() + 10, files.begin() + 30);
  files[5].path = "/d/changed";
  files[40].user = "bob";
  files.insert(files.begin() + 20, {"DOCS", "PC2", "bob", "/d/new"});
  files.push_back({"DOCS", "PC3", "carol", "/d/Ω"});
  read();
  EXPECT_EQ(api.FromPlatformString(api.OpenFilePath(3)), "/d/3");
  api.FilesExit();
  EXPECT_EQ(listed(), expected());
  std::reverse(files.begin(), files.end());
  read();
  EXPECT_EQ(listed(), expected());
}

TEST_P(BindingTest, SessionResultsArePerThread) {
  api_.LoadServerApi();
  ASSERT_EQ(api_.SessionsInit(), 2);
  std::thread other([&] {
    backend_.tables.sessions.pop_back();  // the other thread sees another state
    EXPECT_EQ(api_.SessionsInit(), 1);
    EXPECT_EQ(S(api_.SessionClient(0)), "PC1");
    EXPECT_EQ(api_.SessionsExit(), 0);
  });
  other.join();
  EXPECT_EQ(S(api_.SessionClient(1)), "PC2");  // ours is untouched
  EXPECT_EQ(api_.SessionsExit(), 0);
}

INSTANTIATE_TEST_SUITE_P(Families, BindingTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Win95" : "NT"; });

TEST(Binding95Test, BufferIsTotalPlusOneTimesTheReserve) {
  InMemoryServerBackend backend(true);
  backend.tables = SampleTables();
  ServerApi api(backend);
  api.LoadServerApi();
  api.SharesInit();
  EXPECT_EQ(api.LastBufferSize(ServerApi::kShares), 4u * 554u);
  const PlatformText docs = api.ToPlatformString("DOCS");
  api.ConnectionsInit(docs.get());
  EXPECT_EQ(api.LastBufferSize(ServerApi::kConnections), 3u * 528u);
  api.ConnectionsExit();
  api.FilesInit(nullptr, nullptr);
  EXPECT_EQ(api.LastBufferSize(ServerApi::kFiles), 4u * 788u);
  api.FilesExit();
  api.SessionsInit();
  EXPECT_EQ(api.LastBufferSize(ServerApi::kSessions), 3u * 538u);
  api.SessionsExit();
  api.SharesExit();
}

TEST(Binding95Test, NoNumberOfEntriesEndsAnEnumeration) {  // 2000 need more than 16 bits
  InMemoryServerBackend backend(true);
  backend.tables.shares.push_back({"S0", "/p/0", 0});
  for (int i = 0; i < 2000; ++i) {
    const std::string n = std::to_string(i);
    backend.tables.connections.push_back({"S0", "C" + n, "u"});
    backend.tables.files.push_back({"S0", "C" + n, "u", "/p/0/f" + n});
    backend.tables.sessions.push_back({"C" + n, "u", static_cast<std::uint32_t>(i), ""});
  }
  ServerApi api(backend);
  api.LoadServerApi();
  const PlatformText share = api.ToPlatformString("S0");
  api.SharesInit();
  EXPECT_EQ(api.ConnectionsInit(share.get()), 2000);
  EXPECT_EQ(api.FilesInit(nullptr, nullptr), 2000);
  EXPECT_EQ(api.SessionsInit(), 2000);
  EXPECT_EQ(api.SessionsExit() + api.FilesExit() + api.ConnectionsExit() + api.SharesExit(), 0);
}

class GrowingShares95 : public InMemoryServerBackend {
 public:
  GrowingShares95() : InMemoryServerBackend(true) {}
  NetStatus NetShareEnum50(char* buffer, std::uint32_t size, std::uint16_t& read,
                           std::uint16_t& total, std::uint32_t& needed) override {
    const NetStatus s = InMemoryServerBackend::NetShareEnum50(buffer, size, read, total, needed);
    if (size == 0) total = 1;  // the list grew between the count and the call
    return s;
  }
};

TEST(Binding95Test, ABufferTooSmallIsAskedForAgainWithTheSizeTheServerNeeds) {
  GrowingShares95 backend;
  for (int i = 0; i < 10; ++i) backend.tables.shares.push_back({"S", std::string(200, 'p'), 0});
  ServerApi api(backend);
  api.LoadServerApi();
  EXPECT_EQ(api.SharesInit(), 10);  // 2 x 554 bytes first, then what it said it needs
  EXPECT_EQ(api.LastBufferSize(ServerApi::kShares), 10u * 42u + 10u * 201u);
  api.SharesExit();
}

TEST(Binding95Test, FailedAllocationGivesMinusOne) {
  InMemoryServerBackend backend(true);
  backend.tables = SampleTables();
  ServerApi api(backend);
  api.LoadServerApi();
  api.SetAllocationFailure(true);
  EXPECT_EQ(api.SharesInit(), -1);
  EXPECT_EQ(api.SharesExit(), 0);
}

TEST(Binding95Test, LongShareNamesAreCutInsideTheirThirteenBytes) {
  InMemoryServerBackend backend(true);
  backend.tables.shares = {{"ÄÄÄÄÄÄÄÄÄÄ", "/p", 0}};  // 20 bytes of UTF-8
  ServerApi api(backend);
  api.LoadServerApi();
  ASSERT_EQ(api.SharesInit(), 1);
  EXPECT_EQ(api.FromPlatformString(api.ShareName(0)), "ÄÄÄÄÄÄ");  // 12 bytes, whole characters
  api.SharesExit();
}

}  // namespace
}  // namespace qm
