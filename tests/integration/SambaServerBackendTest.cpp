// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The monitoring core on a real, private smbd with real smbclient clients.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "SambaTest.h"
#include "core/Monitor.h"
#include "core/RefreshCycle.h"
#include "core/ServerApi.h"
#include "os/AtomicFile.h"
#include "platform/samba/SambaServerBackend.h"
#include "platform/samba/SmbdProcess.h"
#include "support/RecordingMessages.h"
#include "support/RecordingView.h"

namespace qm::test {
namespace {

// The refresh cycle over the binding over the Samba backend, as the
// program wires them.
class SambaMonitorTest : public SambaTest {
 protected:
  void SetUp() override {
    SambaTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    messages.confirmAnswer = false;
    backend = std::make_unique<SambaServerBackend>(server.BackendOptions());
    api = std::make_unique<ServerApi>(*backend);
    ASSERT_EQ(api->LoadServerApi(), 0) << api->LoadError();
    MonitorPorts ports;
    ports.messages = &messages;
    ports.view = &view;
    monitor = std::make_unique<Monitor>(*api, settings, ports);
    cycle = std::make_unique<RefreshCycle>(*monitor);
  }
  void TearDown() override {
    cycle.reset();
    monitor.reset();
    api.reset();
    backend.reset();
    SambaTest::TearDown();
  }

  // Ticks until done() holds (at most about 10 s).
  bool TickUntil(const std::function<bool()>& done) {
    return SambaTestServer::WaitUntil([&] {
      SambaTestServer::Tick(*cycle);
      return done();
    });
  }
  TreeNode* Current(const std::string& user) {
    return FindNode(monitor->TreeViewCurrent, nullptr, user);
  }
  TreeNode* Former(const std::string& user) {
    return FindNode(monitor->TreeViewFormer, nullptr, user);
  }
  std::string Diagnostics(SambaTestServer::ClientId id) {
    return "\nclient said:\n" + server.ClientOutput(id) + "\nsmbd said:\n" + server.SmbdOutput() +
           "\nlast failure: " + backend->LastFailure();
  }

  std::unique_ptr<SambaServerBackend> backend;
  std::unique_ptr<ServerApi> api;
  Settings settings;
  RecordingMessages messages;
  RecordingView view;
  std::unique_ptr<Monitor> monitor;
  std::unique_ptr<RefreshCycle> cycle;
};

// Samba reports the NetBIOS name a client sends in lower case.
constexpr const char* kAlpha = "alpha";
constexpr const char* kBeta = "beta";

TEST_F(SambaMonitorTest, TickShowsClientsWithTheirSharesAndOpenFile) {
  const auto alpha = Client("ALPHA", server.DiskShare(), true);
  const auto beta = Client("BETA", server.PrintShare());
  const std::string file = server.DiskPath() + "/" + server.OpenFileName();

  // Each client's smbclient connects on its own: wait for every node the
  // test looks at, not only for the client that carries it.
  ASSERT_TRUE(TickUntil([&] {
    TreeNode* a = Current(kAlpha);
    TreeNode* b = Current(kBeta);
    TreeNode* share = a ? FindNode(monitor->TreeViewCurrent, a, server.DiskShare()) : nullptr;
    return share && FindNode(monitor->TreeViewCurrent, share, file) && b &&
           FindNode(monitor->TreeViewCurrent, b, server.PrintShare());
  })) << Diagnostics(alpha)
      << Diagnostics(beta);

  TreeNode* a = Current(kAlpha);
  auto* alphaUser = dynamic_cast<TUser*>(a->Data());
  ASSERT_NE(alphaUser, nullptr);
  EXPECT_EQ(alphaUser->UserName, server.UserName());
  EXPECT_EQ(alphaUser->ExitTime, 0);
  TreeNode* disk = FindNode(monitor->TreeViewCurrent, a, server.DiskShare());
  EXPECT_EQ(disk->ImageIndex(), kImageDiskShare);
  EXPECT_EQ(disk->ChildCount(), 1);

  TreeNode* b = Current(kBeta);
  TreeNode* queue = FindNode(monitor->TreeViewCurrent, b, server.PrintShare());
  ASSERT_NE(queue, nullptr);
  EXPECT_EQ(queue->ImageIndex(), kImagePrintShare);
  EXPECT_FALSE(queue->Data()->DiskShare);
  EXPECT_EQ(monitor->CurrentUserCount, 2);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SambaMonitorTest, TickEndsClientThatLeft) {
  const auto alpha = Client("ALPHA", server.DiskShare());
  ASSERT_TRUE(TickUntil([&] { return Current(kAlpha) != nullptr; })) << Diagnostics(alpha);
  TUser* record = dynamic_cast<TUser*>(Current(kAlpha)->Data());

  server.StopClient(alpha);
  ASSERT_TRUE(TickUntil([&] { return Current(kAlpha) == nullptr; }));

  TreeNode* former = Former(kAlpha);
  ASSERT_NE(former, nullptr);
  EXPECT_EQ(former->Data(), record);
  EXPECT_NE(record->ExitTime, 0);
  EXPECT_EQ(record->ExitStatus, stLoggedOff);
  EXPECT_EQ(monitor->CurrentUserCount, 0);
}

TEST_F(SambaMonitorTest, StoppedSmbdEndsEveryUserWithoutMessage) {
  const auto alpha = Client("ALPHA", server.DiskShare());
  const auto beta = Client("BETA", server.DiskShare());
  ASSERT_TRUE(TickUntil([&] { return Current(kAlpha) && Current(kBeta); }))
      << Diagnostics(alpha) << Diagnostics(beta);

  server.StopSmbd();
  SambaTestServer::Tick(*cycle);
  EXPECT_EQ(api->SharesInit(), -static_cast<int>(NERR_ServerNotStarted)) << backend->LastFailure();
  EXPECT_EQ(api->SharesExit(), 0);

  EXPECT_EQ(Current(kAlpha), nullptr);
  EXPECT_EQ(Current(kBeta), nullptr);
  EXPECT_NE(Former(kAlpha)->Data()->ExitTime, 0);
  EXPECT_NE(Former(kBeta)->Data()->ExitTime, 0);
  EXPECT_EQ(monitor->CurrentUserCount, 0);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_FALSE(view.terminateRequested);
  // No message box, but a notice, once, and once when smbd is back.
  cycle->RefreshTimerTimer();
  EXPECT_EQ(view.notices, std::vector<std::string>{"Samba's smbd is not running"});
  std::string why;
  ASSERT_TRUE(server.StartSmbd(why)) << why;
  ASSERT_TRUE(TickUntil([&] { return view.notices.size() == 2; }));
  EXPECT_EQ(view.notices.back(), "Samba's smbd is running again");
}

TEST_F(SambaMonitorTest, SessionDeletionEndsOnlyTheNamedClient) {
  // Both clients come from the same address.
  const auto alpha = Client("ALPHA", server.DiskShare());
  const auto beta = Client("BETA", server.DiskShare());
  ASSERT_TRUE(TickUntil([&] { return Current(kAlpha) && Current(kBeta); }))
      << Diagnostics(alpha) << Diagnostics(beta);

  NetStatus status;
  {
    const PlatformText name = api->ToPlatformString(std::string("\\\\") + kAlpha);
    status = api->DeleteSession(name.get(), nullptr, 0);
  }
  EXPECT_EQ(status, NERR_Success) << backend->LastFailure();
  ASSERT_TRUE(TickUntil([&] { return Current(kAlpha) == nullptr; }));

  // A client deleted again, now gone, costs no other client anything.
  const PlatformText again = api->ToPlatformString(std::string("\\\\") + kAlpha);
  EXPECT_EQ(api->DeleteSession(again.get(), nullptr, 0), NERR_Success);
  SambaTestServer::Tick(*cycle);
  EXPECT_NE(Current(kBeta), nullptr);
  EXPECT_TRUE(server.ClientRunning(beta));
}

// What a member of the group may end through sudo: the smbd of a client,
// never the main smbd nor smbd's helpers.
TEST_F(SambaMonitorTest, OnlyAClientSmbdPassesTheEndSessionCheck) {
  const auto alpha = Client("ALPHA", server.DiskShare());
  ASSERT_TRUE(TickUntil([&] { return Current(kAlpha) != nullptr; })) << Diagnostics(alpha);
  std::string why;
  EXPECT_FALSE(SmbdProcess::Check(server.SmbdPid(), why));
  EXPECT_NE(why.find("is the main smbd"), std::string::npos) << why;
  int clients = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    long pid = 0;
    if (!SmbdProcess::ParsePid(entry.path().filename().string(), pid)) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    const long parent = std::strtol(line.c_str() + close + 3, nullptr, 10);
    if (parent == server.SmbdPid() && SmbdProcess::Check(pid, why)) ++clients;
  }
  EXPECT_EQ(clients, 1);
}

TEST_F(SambaMonitorTest, SessionsCarryAccountAndLoopbackAddress) {
  const auto alpha = Client("ALPHA", server.DiskShare());
  std::vector<ServerTables::Session> sessions;
  ASSERT_TRUE(SambaTestServer::WaitUntil([&] {
    // Samba lists a session while it authenticates, as "(auth in progress)".
    SambaTestServer::Tick(*cycle);
    return backend->SessionTable(sessions) == NERR_Success && !sessions.empty() &&
           sessions[0].user == server.UserName();
  })) << Diagnostics(alpha);
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].client, kAlpha);
  EXPECT_EQ(sessions[0].user, server.UserName());
  EXPECT_EQ(sessions[0].key, 0u);
  EXPECT_EQ(sessions[0].address, "127.0.0.1");

  ASSERT_EQ(api->SessionsInit(), 1);
  EXPECT_EQ(api->FromPlatformString(api->SessionClient(0)), kAlpha);
  EXPECT_EQ(api->FromPlatformString(api->SessionUser(0)), server.UserName());
  EXPECT_EQ(api->SessionKey(0), 0);
  EXPECT_EQ(api->SessionsExit(), 0);
}

TEST_F(SambaMonitorTest, ShareListFollowsSmbConf) {
  struct Listed {
    std::string path;
    int type;
  };
  auto shares = [&] {
    std::map<std::string, Listed> listed;
    if (api->StartReading()) SambaTestServer::WaitUntil([&] { return api->ReadingComplete(); });
    const int n = api->SharesInit();
    for (int i = 0; i < n; ++i) {
      listed[api->FromPlatformString(api->ShareName(i))] = {
          api->FromPlatformString(api->SharePath(i)), api->ShareType(i)};
    }
    api->SharesExit();
    return listed;
  };
  auto listed = shares();
  ASSERT_EQ(listed.size(), 3u) << backend->LastFailure();
  EXPECT_EQ(listed["IPC$"].path, "");
  EXPECT_EQ(listed["IPC$"].type, 3);
  EXPECT_EQ(listed[server.DiskShare()].path, server.DiskPath());
  EXPECT_EQ(listed[server.DiskShare()].type, 0);
  EXPECT_EQ(listed[server.PrintShare()].type, 1);

  std::string conf, error;
  ASSERT_TRUE(ReadWholeFile(server.ConfPath(), conf, error)) << error;
  conf += "[extra]\n  path = " + server.DiskPath() + "\n  print ok = yes\n";
  ASSERT_TRUE(WriteFileAtomically(server.ConfPath(), conf, error)) << error;
  listed = shares();
  ASSERT_EQ(listed.count("extra"), 1u);
  EXPECT_EQ(listed["extra"].type, 1);
}

TEST_F(SambaMonitorTest, ToolsWithoutRootGiveAccessDenied) {
  // The tools run as "nobody": smbstatus refuses to read Samba's state.
  SambaServerBackend::Options options = server.BackendOptions();
  options.elevate = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  SambaServerBackend unprivileged(options);
  ServerApi unprivilegedApi(unprivileged);
  ASSERT_EQ(unprivilegedApi.LoadServerApi(), 0) << unprivilegedApi.LoadError();
  EXPECT_EQ(unprivilegedApi.SharesInit(), -static_cast<int>(ERROR_ACCESS_DENIED))
      << unprivileged.LastFailure();
  EXPECT_EQ(unprivilegedApi.SharesExit(), 0);
}

}  // namespace
}  // namespace qm::test
