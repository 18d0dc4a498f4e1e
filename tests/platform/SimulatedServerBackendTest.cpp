// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/ServerApi.h"
#include "os/AtomicFile.h"
#include "platform/sim/SimulatedServerBackend.h"
#include "support/TempFolder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class SimulatedServerTest : public ::testing::Test {
 protected:
  void Write(const std::string& text) {
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path_, text, error)) << error;
  }
  std::string Read() {
    std::string text, error;
    ReadWholeFile(path_, text, error);
    return text;
  }

  test::TempFolder folder_{"qm-sim"};
  const std::string dir_ = folder_.Path(), path_ = folder_.File("state.json");
};

constexpr const char* kTwoClients = R"({
  "shares": [{"name": "DOCS", "path": "/srv/docs"}, {"name": "LASER", "type": 1}],
  "connections": [{"share": "DOCS", "client": "PC1", "user": "alice"},
                  {"share": "DOCS", "client": "PC2", "user": "bob"}],
  "files": [{"share": "DOCS", "client": "PC1", "user": "alice", "path": "/srv/docs/a.odt"}],
  "sessions": [{"client": "PC1", "user": "alice", "key": 17, "address": "127.0.0.1"},
               {"client": "PC2", "user": "bob", "key": 18, "address": "127.0.0.2"}]
})";

TEST_F(SimulatedServerTest, MissingOrInvalidFileCannotBeBound) {
  SimulatedServerBackend missing(path_);
  ServerApi api(missing);
  EXPECT_EQ(api.LoadServerApi(), -1);
  EXPECT_NE(api.LoadError().find(path_), std::string::npos);
  Write("{ not json");
  SimulatedServerBackend invalid(path_);
  ServerApi api2(invalid);
  EXPECT_EQ(api2.LoadServerApi(), -1);
  Write(R"({"family": "os2"})");
  SimulatedServerBackend badFamily(path_);
  std::string why;
  EXPECT_FALSE(badFamily.Load(why));
  EXPECT_NE(why.find("family"), std::string::npos);
  Write(R"({"shares": [{"name": 7}]})");
  SimulatedServerBackend badType(path_);
  EXPECT_FALSE(badType.Load(why));
}

TEST_F(SimulatedServerTest, FamilyComesFromTheFile) {
  Write(R"({"family": "95"})");
  SimulatedServerBackend backend(path_);
  ServerApi api(backend);
  EXPECT_EQ(api.LoadServerApi(), 1);
}

TEST_F(SimulatedServerTest, AShareWithoutANameIsSaidOnceAndSkipped) {
  Write(R"({"shares": [{"path": "/srv/x"}, {"name": "DOCS"}, {"name": ""}],
            "connections": [{"share": "DOCS", "client": "PC1"}]})");
  SimulatedServerBackend backend(path_);
  ServerApi api(backend);
  ASSERT_EQ(api.LoadServerApi(), 0);
  api.SharesInit();
  api.SharesExit();
  ASSERT_EQ(api.SharesInit(), 1);
  EXPECT_EQ(api.FromPlatformString(api.ShareName(0)), "DOCS");
  EXPECT_EQ(backend.TakeNotices(), std::vector<std::string>{"simulated server: " + path_ +
                                                            ": a share without a name is skipped"});
}

TEST_F(SimulatedServerTest, StateIsReadAgainAtEveryShareEnumeration) {
  Write(kTwoClients);
  SimulatedServerBackend backend(path_);
  ServerApi api(backend);
  ASSERT_EQ(api.LoadServerApi(), 0);
  ASSERT_EQ(api.SharesInit(), 2);
  EXPECT_EQ(api.ShareType(1), 1);
  api.SharesExit();
  Write(R"({"shares": [{"name": "ONLY"}]})");
  ASSERT_EQ(api.SharesInit(), 1);
  EXPECT_EQ(api.FromPlatformString(api.ShareName(0)), "ONLY");
  api.SharesExit();
  // A write in place right after a reading, of the same size, is seen too.
  std::ofstream(path_, std::ios::trunc) << R"({"shares": [{"name": "ONCE"}]})";
  ASSERT_EQ(api.SharesInit(), 1);
  EXPECT_EQ(api.FromPlatformString(api.ShareName(0)), "ONCE");
  api.SharesExit();
  // A file that has become invalid gives "server not started" for that call.
  Write("[]");
  EXPECT_EQ(api.SharesInit(), -2114);
  api.SharesExit();
  EXPECT_EQ(api.SessionsInit(), -2114);
  api.SessionsExit();
  fs::remove(path_);
  EXPECT_EQ(api.SharesInit(), -2114);
  api.SharesExit();
}

TEST_F(SimulatedServerTest, InjectedFailuresApplyToTheNamedCall) {
  Write(R"({"shares": [{"name": "DOCS"}], "fail": {"NetConnectionEnum": 53}})");
  SimulatedServerBackend backend(path_);
  ServerApi api(backend);
  api.LoadServerApi();
  ASSERT_EQ(api.SharesInit(), 1);
  const PlatformText docs = api.ToPlatformString("DOCS");
  EXPECT_EQ(api.ConnectionsInit(docs.get()), -53);
  api.ConnectionsExit();
  api.SharesExit();
}

TEST_F(SimulatedServerTest, DeletingAClientRewritesTheFile) {
  Write(kTwoClients);
  SimulatedServerBackend backend(path_);
  ServerApi api(backend);
  api.LoadServerApi();
  struct stat before {};
  ::stat(path_.c_str(), &before);
  const PlatformText client = api.ToPlatformString("\\\\PC1");
  EXPECT_EQ(api.DeleteSession(client.get(), nullptr, 0), 0u);
  const std::string after = Read();
  EXPECT_EQ(after.find("PC1"), std::string::npos);
  EXPECT_NE(after.find("PC2"), std::string::npos);
  EXPECT_EQ(api.DeleteSession(client.get(), nullptr, 0), NERR_ClientNameNotFound);
  // The rewritten file is a valid state that keeps the rest.
  SimulatedServerBackend again(path_);
  ServerApi api2(again);
  ASSERT_EQ(api2.LoadServerApi(), 0);
  EXPECT_EQ(api2.SessionsInit(), 1);
  api2.SessionsExit();
}

TEST_F(SimulatedServerTest, DeletingOn95NeedsTheSessionKey) {
  Write(std::string(R"({"family": "95",)") + std::string(kTwoClients).substr(1));
  SimulatedServerBackend backend(path_);
  ServerApi api(backend);
  ASSERT_EQ(api.LoadServerApi(), 1);
  const PlatformText client = api.ToPlatformString("PC1");
  EXPECT_EQ(api.DeleteSession(client.get(), nullptr, 99), NERR_ClientNameNotFound);
  EXPECT_EQ(api.DeleteSession(client.get(), nullptr, 17), 0u);
}

TEST_F(SimulatedServerTest, HostileTextsSurviveTheRoundTrip) {
  ServerTables t;
  t.sessions.push_back({"PC\"1\n\t",
                        "a\xff"
                        "b",
                        1, "127.0.0.1"});
  t.connections.push_back({"DOCS", "PC\"1\n\t", "x"});
  Write(SimulatedServerBackend::Serialize(t, false, {}));
  SimulatedServerBackend backend(path_);
  std::string why;
  ASSERT_TRUE(backend.Load(why)) << why;
  ServerApi api(backend);
  api.LoadServerApi();
  ASSERT_EQ(api.SessionsInit(), 1);
  EXPECT_EQ(api.FromPlatformString(api.SessionClient(0)), "PC\"1\n\t");
  EXPECT_EQ(api.FromPlatformString(api.SessionUser(0)),
            "a\xef\xbf\xbd"
            "b");
  api.SessionsExit();
}

}  // namespace
}  // namespace qm
