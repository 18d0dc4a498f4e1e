// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// A real CTDB cluster of two nodes on loopback addresses, each node with a
// private smbd that has clustering = yes: smbstatus on node 0 lists node
// 1's sessions too, and the program on node 0 ends a client of node 1
// through that node, never through a local process.
#include <unistd.h>

#include <array>
#include <filesystem>
#include <string>

#include "SambaTest.h"
#include "core/ServerApi.h"
#include "os/AtomicFile.h"
#include "os/ProcessRunner.h"
#include "platform/samba/SambaServerBackend.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCtdbd = "/usr/sbin/ctdbd";

class CtdbClusterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = SambaTestServer::Unavailable();
    if (!missing.empty()) GTEST_SKIP() << missing;
    if (::access(kCtdbd, X_OK) != 0) GTEST_SKIP() << "ctdb is not installed";
    char pattern[] = "/tmp/qm-ctdb-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    // Node addresses of a block of this process's own.
    const std::string block = "127.98." + std::to_string(::getpid() % 200 + 20) + ".";
    address_ = {block + "10", block + "11"};
    for (int n = 0; n < 2; ++n) ASSERT_NO_FATAL_FAILURE(StartNode(n));
    std::vector<std::string> status = Environment(0);
    status.insert(status.end(), {"ctdb", "nodestatus", "all"});
    ASSERT_TRUE(SambaTestServer::WaitUntil([&] { return ProcessRunner::Run(status).Succeeded(); },
                                           std::chrono::seconds(60)));
    for (int n = 0; n < 2; ++n) {
      std::string why;
      ASSERT_TRUE(server_[n].Start(why)) << why;
      // The same server again as a node of the cluster (its account stays
      // in its own password database, which a cluster would share).
      std::string conf, error;
      ASSERT_TRUE(ReadWholeFile(server_[n].ConfPath(), conf, error)) << error;
      conf.insert(conf.find('\n') + 1, "  clustering = yes\n  ctdbd socket = " + Socket(n) +
                                           "\n  ctdb:passdb.tdb = no\n");
      ASSERT_TRUE(WriteFileAtomically(server_[n].ConfPath(), conf, error)) << error;
      server_[n].StopSmbd();
      ASSERT_TRUE(server_[n].StartSmbd(why)) << why;
    }
  }
  void TearDown() override {
    for (auto& s : server_) s.Stop();
    for (pid_t pid : ctdbd_) {
      if (pid > 0) ProcessRunner::KillAndReap(pid);
    }
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  std::string Base(int n) const { return dir_ + "/node" + std::to_string(n); }
  std::string Socket(int n) const { return Base(n) + "/ctdbd.socket"; }
  // CTDB's tool as node n's, through the environment that points it there.
  std::vector<std::string> Environment(int n) const {
    return {"/usr/bin/env", "CTDB_BASE=" + Base(n), "CTDB_SOCKET=" + Socket(n)};
  }

  void StartNode(int n) {
    const std::string base = Base(n);
    for (const char* sub : {"events/legacy", "run", "v", "p", "s"})
      fs::create_directories(base + "/" + sub);
    std::string error;
    ASSERT_TRUE(
        WriteFileAtomically(base + "/nodes", address_[0] + "\n" + address_[1] + "\n", error) &&
        WriteFileAtomically(base + "/ctdb.conf",
                            "[cluster]\n\tnode address = " + address_[n] +
                                "\n[database]\n\tvolatile database directory = " + base +
                                "/v\n\tpersistent database directory = " + base +
                                "/p\n\tstate database directory = " + base +
                                "/s\n[legacy]\n\trealtime scheduling = false\n",
                            error))
        << error;
    std::vector<std::string> argv = Environment(n);
    argv.insert(argv.end(), {"CTDB_TEST_MODE=yes", kCtdbd, "--interactive"});
    std::string why;
    ctdbd_[n] = ProcessRunner::Spawn(argv, -1, -1, -1, why);
    ASSERT_GT(ctdbd_[n], 0) << why;
  }

  std::string dir_;
  std::array<std::string, 2> address_;
  std::array<pid_t, 2> ctdbd_{-1, -1};
  std::array<SambaTestServer, 2> server_;
};

TEST_F(CtdbClusterTest, NodeOneClientIsEndedThroughNodeOneFromNodeZero) {
  const auto remote = server_[1].StartClient("REMOTE", server_[1].DiskShare(), false);
  const auto local = server_[0].StartClient("LOCAL", server_[0].DiskShare(), false);
  ASSERT_TRUE(remote >= 0 && local >= 0);
  SambaServerBackend::Options options = server_[0].BackendOptions();
  options.elevate = Environment(0);
  SambaServerBackend backend(options);
  ServerApi api(backend);
  ASSERT_EQ(api.LoadServerApi(), 0) << api.LoadError();
  SessionSecurity remoteFacts, localFacts;
  auto readUntil = [&](const std::function<bool()>& done) {
    return SambaTestServer::WaitUntil(
        [&] {
          // A fresh reading each round, as a tick takes it.
          if (api.StartReading()) {
            SambaTestServer::WaitUntil([&] { return api.ReadingComplete(); });
          }
          api.SharesInit();
          api.SharesExit();
          return done();
        },
        std::chrono::seconds(20));
  };
  ASSERT_TRUE(readUntil([&] {
    return backend.ClientSecurity("remote", remoteFacts) &&
           backend.ClientSecurity("local", localFacts);
  })) << backend.LastFailure();
  EXPECT_EQ(remoteFacts.node, "1");
  EXPECT_EQ(localFacts.node, "0");

  const PlatformText name = api.ToPlatformString("\\\\remote");
  EXPECT_EQ(api.DeleteSession(name.get(), nullptr, 0), NERR_Success);
  EXPECT_TRUE(backend.TakeNotices().empty());
  EXPECT_TRUE(readUntil([&] { return !backend.ClientSecurity("remote", remoteFacts); }));
  EXPECT_TRUE(backend.ClientSecurity("local", localFacts));  // untouched
}

}  // namespace
}  // namespace qm::test
