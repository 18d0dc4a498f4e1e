// A real CTDB cluster of two nodes on loopback addresses, each node with a
// private smbd that has clustering = yes: smbstatus on node 0 lists node
// 1's sessions too, and the program on node 0 ends a client of node 1
// through that node, never through a local process.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <string>

#include "SambaTest.h"
#include "core/ServerApi.h"
#include "platform/AtomicFile.h"
#include "platform/ProcessRunner.h"
#include "platform/samba/SambaServerBackend.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCtdbd = "/usr/sbin/ctdbd";

bool CanBind(const std::string& address, int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  if (fd >= 0) ::close(fd);
  return ok;
}

class CtdbClusterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = SambaTestServer::Unavailable();
    if (!missing.empty()) GTEST_SKIP() << missing;
    if (::access(kCtdbd, X_OK) != 0) GTEST_SKIP() << "ctdb is not installed";
    char pattern[] = "/tmp/qm-ctdb-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    // Two free node addresses of a block of this process's own.
    const int block = static_cast<int>(::getpid() % 200) + 20;
    for (int i = 0; i < 2; ++i) {
      for (int host = 10 + 2 * i; host < 250 && address_[i].empty(); host += 4) {
        const std::string a = "127.98." + std::to_string(block) + "." + std::to_string(host);
        if (CanBind(a, 4379)) address_[i] = a;
      }
      ASSERT_FALSE(address_[i].empty());
    }
    for (int n = 0; n < 2; ++n) ASSERT_NO_FATAL_FAILURE(StartNode(n));
    ASSERT_TRUE(SambaTestServer::WaitUntil(
        [&] {
          const ProcessResult r = Ctdb(0, {"nodestatus", "all"});
          return r.Succeeded();
        },
        std::chrono::seconds(60)))
        << Ctdb(0, {"status"}).out;
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
  ProcessResult Ctdb(int n, const std::vector<std::string>& arguments) const {
    std::vector<std::string> argv = Environment(n);
    argv.push_back("ctdb");
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return ProcessRunner::Run(argv);
  }

  void StartNode(int n) {
    const std::string base = Base(n);
    for (const char* sub : {"events/legacy", "run", "db/volatile", "db/persistent", "db/state"}) {
      fs::create_directories(base + "/" + sub);
    }
    std::string error;
    ASSERT_TRUE(
        WriteFileAtomically(base + "/nodes", address_[0] + "\n" + address_[1] + "\n", error))
        << error;
    ASSERT_TRUE(WriteFileAtomically(base + "/ctdb.conf",
                                    "[logging]\n\tlocation = file:" + base +
                                        "/log.ctdb\n[cluster]\n\tnode address = " + address_[n] +
                                        "\n[database]\n\tvolatile database directory = " + base +
                                        "/db/volatile\n\tpersistent database directory = " + base +
                                        "/db/persistent\n\tstate database directory = " + base +
                                        "/db/state\n[legacy]\n\trealtime scheduling = false\n",
                                    error))
        << error;
    std::vector<std::string> argv = Environment(n);
    argv.insert(argv.end(), {"CTDB_TEST_MODE=yes", "CTDB_NOSETSCHED=1", kCtdbd, "--interactive"});
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
  const bool both = SambaTestServer::WaitUntil(
      [&] {
        api.SharesInit();
        api.SharesExit();
        return backend.ClientSecurity("remote", remoteFacts) &&
               backend.ClientSecurity("local", localFacts);
      },
      std::chrono::seconds(20));
  ASSERT_TRUE(both) << backend.LastFailure() << server_[1].ClientOutput(remote);
  EXPECT_EQ(remoteFacts.node, "1");
  EXPECT_EQ(localFacts.node, "0");

  const PlatformText name = api.ToPlatformString("\\\\remote");
  EXPECT_EQ(api.DeleteSession(name.get(), nullptr, 0), NERR_Success);
  EXPECT_TRUE(backend.TakeNotices().empty());
  const bool gone = SambaTestServer::WaitUntil(
      [&] {
        api.SharesInit();
        api.SharesExit();
        return !backend.ClientSecurity("remote", remoteFacts);
      },
      std::chrono::seconds(20));
  EXPECT_TRUE(gone) << server_[1].SmbdOutput();
  // The local client is untouched, and ends as a local one.
  EXPECT_TRUE(backend.ClientSecurity("local", localFacts));
  const PlatformText other = api.ToPlatformString("\\\\local");
  EXPECT_EQ(api.DeleteSession(other.get(), nullptr, 0), NERR_Success);
}

}  // namespace
}  // namespace qm::test
