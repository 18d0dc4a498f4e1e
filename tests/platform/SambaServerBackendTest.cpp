// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <unordered_map>

#include "DataFile.h"
#include "StandInSamba.h"
#include "core/ServerApi.h"
#include "os/AtomicFile.h"
#include "platform/samba/SambaServerBackend.h"
#include "platform/samba/SambaTables.h"

namespace qm {
namespace {

using test::DataFile;
namespace fs = std::filesystem;

constexpr const char* kShare = "/tmp/qm-samba-SKP0Yd/share";

ServerTables TablesOf(const std::string& testparm, const std::string& smbstatus) {
  SmbStatus status;
  std::string why;
  EXPECT_TRUE(SmbStatusParser::Parse(smbstatus, status, why)) << why;
  return SambaTables::Make(SambaShareList::Parse(testparm), status);
}

template <typename Entry>
const Entry* OfClient(const std::vector<Entry>& entries, const std::string& client) {
  for (const auto& e : entries) {
    if (e.client == client) return &e;
  }
  return nullptr;
}

// ---------------- from captures of the real tools ----------------

TEST(SambaTablesTest, CapturedReadingGivesSharesConnectionsFilesAndSessions) {
  const ServerTables t =
      TablesOf(DataFile("testparm-private.txt"), DataFile("smbstatus-two-clients.json"));
  ASSERT_EQ(t.shares.size(), 3u);
  EXPECT_EQ(t.shares[0].name, "data");
  EXPECT_EQ(t.shares[0].path, kShare);
  EXPECT_EQ(t.shares[0].type, 0u);
  EXPECT_EQ(t.shares[1].name, "queue");
  EXPECT_EQ(t.shares[1].type, 1u);
  EXPECT_EQ(t.shares[2].name, "IPC$");
  EXPECT_EQ(t.shares[2].path, "");
  EXPECT_EQ(t.shares[2].type, 3u);

  ASSERT_EQ(t.connections.size(), 2u);
  const auto* alpha = OfClient(t.connections, "alpha");
  ASSERT_NE(alpha, nullptr);
  EXPECT_EQ(alpha->share, "data");
  EXPECT_EQ(alpha->user, "nobody");
  EXPECT_EQ(OfClient(t.connections, "beta")->share, "queue");

  ASSERT_EQ(t.files.size(), 1u);
  EXPECT_EQ(t.files[0].client, "alpha");
  EXPECT_EQ(t.files[0].user, "nobody");
  EXPECT_EQ(t.files[0].share, "data");
  EXPECT_EQ(t.files[0].path, std::string(kShare) + "/hello.txt");

  ASSERT_EQ(t.sessions.size(), 2u);
  for (const auto& s : t.sessions) {
    EXPECT_EQ(s.address, "127.0.0.1");
    EXPECT_EQ(s.key, 0u);
    EXPECT_EQ(s.user, "nobody");
  }
}

TEST(SambaTablesTest, ClientsFromOneAddressStayApart) {
  const ServerTables t =
      TablesOf(DataFile("testparm-private.txt"), DataFile("smbstatus-same-address.json"));
  ASSERT_EQ(t.connections.size(), 2u);
  EXPECT_NE(OfClient(t.connections, "gamma"), nullptr);
  EXPECT_NE(OfClient(t.connections, "delta"), nullptr);
  ASSERT_EQ(t.files.size(), 1u);
  EXPECT_EQ(t.files[0].client, "gamma");
  EXPECT_EQ(t.files[0].path, std::string(kShare) + "/it's \xC3\xBC.txt");
}

// ---------------- mapping rules ----------------

SmbStatus::Session Session(std::string id, long pid, std::string user, std::string machine,
                           std::string hostname = "ipv4:127.0.0.1:40000") {
  return {std::move(id), pid, 1000, std::move(user), std::move(machine), std::move(hostname)};
}

TEST(SambaTablesTest, ClientKeyIsTheNameElseTheAddress) {
  EXPECT_EQ(SambaTables::ClientKey(Session("1", 5, "u", "pc7")), "pc7");
  EXPECT_EQ(SambaTables::ClientKey(Session("1", 5, "u", "", "ipv6:[::1]:445")), "::1");
  EXPECT_EQ(SambaTables::ClientKey(Session("1", 5, "u", "", "odd")), "odd");
}

TEST(SambaTablesTest, SharesInUseButNotListedAreAdded) {
  const SambaShareList list = SambaShareList::Parse(
      "[global]\n[homes]\n\tread only = no\n[printers]\n\tpath = /var/spool/samba\n"
      "[docs]\n\tpath = /srv/docs/\n");
  SmbStatus status;
  status.sessions = {Session("1", 100, "alice", "pc1"), Session("2", 200, "bob", "pc2")};
  status.treeConnects = {{"alice", "1", 100, "pc1"},  // home folder from [homes]
                         {"laser", "2", 200, "pc2"},  // a printer of [printers]
                         {"DOCS", "2", 200, "pc2"},   // listed, other letter case
                         {"IPC$", "2", 200, "pc2"},
                         {"gone", "2", 200, "pc2"},  // on no list: a disk share
                         {"pub", "1", 100, "pc1"}};  // a usershare
  status.opens = {{"/home/alice", "notes.txt", 100, 1000},
                  {"/srv/docs", "a/b.txt", 200, 1000},
                  {"/srv/docs", ".", 200, 1000},  // the share's own folder: no file
                  {"/srv/gone", ".", 200, 1000}};
  const ServerTables t =
      SambaTables::Make(list, status, {{"pub", "/srv/pub", false}}, {"other", "LASER"});

  ASSERT_EQ(t.shares.size(), 6u);
  EXPECT_EQ(t.shares[1].name, "pub");
  EXPECT_EQ(t.shares[1].type, 0u);
  EXPECT_EQ(t.shares[1].path, "/srv/pub");
  EXPECT_EQ(t.shares[3].name, "alice");
  EXPECT_EQ(t.shares[3].type, 0u);
  EXPECT_EQ(t.shares[3].path, "/home/alice");
  EXPECT_EQ(t.shares[4].name, "laser");
  EXPECT_EQ(t.shares[4].type, 1u);
  EXPECT_EQ(t.shares[5].name, "gone");
  EXPECT_EQ(t.shares[5].type, 0u);
  EXPECT_EQ(t.shares[5].path, "/srv/gone");  // learnt from its root's open

  ASSERT_EQ(t.connections.size(), 6u);
  EXPECT_EQ(t.connections[2].share, "docs");
  EXPECT_EQ(t.connections[5].share, "pub");
  ASSERT_EQ(t.files.size(), 2u);
  EXPECT_EQ(t.files[0].share, "alice");
  EXPECT_EQ(t.files[0].path, "/home/alice/notes.txt");
  EXPECT_EQ(t.files[1].share, "docs");
  EXPECT_EQ(t.files[1].path, "/srv/docs/a/b.txt");  // listed path, one slash
}

TEST(SambaTablesTest, EachClientIsDescribedByItsWeakestSessionAndEveryNode) {
  // Encryption required by [global], but not by [open] nor by [homes].
  const SambaShareList list = SambaShareList::Parse(
      "[global]\n\tserver smb encrypt = required\n[homes]\n\tsmb encrypt = off\n"
      "[open]\n\tpath = /srv/open\n\tsmb encrypt = desired\n[vault]\n\tpath = /srv/vault\n");
  SmbStatus status;
  auto session = [](const char* id, const char* pc, std::int64_t vnn, const char* dialect,
                    const char* degree) {
    SmbStatus::Session s = Session(id, 100, "u", pc);
    s.vnn = vnn;
    s.dialect = dialect;
    s.signing = s.encryption = {"", degree};
    return s;
  };
  status.sessions = {session("1", "pc1", 0, "SMB3_11", "partial"),
                     session("2", "pc1", 2, "NT1", "none"), session("3", "pc2", 5, "SMB3_02", ""),
                     session("4", "pc2", kNonClusterVnn, "SMB3_11", "full")};
  for (const char* share : {"vault", "VAULT", "open", "u", "gone"}) {
    status.treeConnects.push_back({share, "2", 100, ""});
    status.treeConnects.back().encryption = {share == std::string("vault") ? "AES-128-GCM" : "",
                                             share == std::string("vault") ? "full" : "none"};
  }
  status.treeConnects.push_back({"vault", "4", 100, ""});  // the session encrypts
  status.treeConnects.back().encryption = {"", "none"};
  const ServerTables t = SambaTables::Make(list, status);
  const SessionSecurity& pc1 = t.security.at("pc1");
  EXPECT_EQ(pc1.node + " " + pc1.dialect + " " + pc1.signing, "0,2 NT1 none");
  EXPECT_EQ(pc1.unencryptedShares, (std::vector<std::string>{"vault", "gone"}));
  const SessionSecurity& pc2 = t.security.at("pc2");
  EXPECT_EQ(pc2.node + " " + pc2.dialect + " " + std::to_string(pc2.unencryptedShares.size()),
            "5 SMB3_02 0");
}

TEST(SambaTablesTest, UsershareAndPrintcapFilesGiveSharesAndPrinterNames) {
  SambaShare share;
  ASSERT_TRUE(SambaShareSources::ParseUsershare(
      "public", "#VERSION 2\r\npath=/home/ann/Public\r\nsharename=Public\r\n", share));
  EXPECT_EQ(share.name, "Public");
  EXPECT_EQ(share.path, "/home/ann/Public");
  EXPECT_FALSE(share.printable);
  EXPECT_FALSE(SambaShareSources::ParseUsershare("x", "path=/srv\n", share));  // no version
  EXPECT_FALSE(SambaShareSources::ParseUsershare("x", "#VERSION 2\ncomment=\n", share));
  EXPECT_EQ(SambaShareSources::ParsePrintcap("# printcap\nlaser|lp|Office:\\\n\t:sd=/x:\nink:\n"),
            (std::vector<std::string>{"laser", "lp", "Office", "ink"}));
}

// A tree connect whose session is not in the reading waits for the next
// one: no user without a session, none lent another session's account
// (one of its process), none named after the tree connect's machine.
TEST(SambaTablesTest, ConnectionWithoutSessionWaitsAndOrphanOpenIsLeftOut) {
  SmbStatus status;
  status.sessions = {Session("1", 100, "alice", "pc1"), Session("2", 100, "carol", "pc1")};
  status.treeConnects = {
      {"data", "9", 300, "pc9"}, {"data", "8", 100, "pc8"}, {"data", "", 100, "pc1"}};
  status.opens = {{"/srv/data", "x", 400, 1000},  // its process serves no session
                  {"/srv/data", "y", 100, 1000}};
  status.sessions[1].uid = 1000;
  status.sessions[0].uid = 1001;
  const ServerTables t =
      SambaTables::Make(SambaShareList::Parse("[data]\n\tpath = /srv/data\n"), status);
  ASSERT_EQ(t.connections.size(), 1u);
  EXPECT_EQ(t.connections[0].client, "pc1");  // found by its process
  ASSERT_EQ(t.files.size(), 1u);
  EXPECT_EQ(t.files[0].user, "carol");  // the session of the open's uid
}

TEST(SambaTablesTest, AuthenticatingSessionIsNoAccount) {
  std::unordered_map<std::string, std::string> accounts;
  auto read = [&](std::vector<SmbStatus::Session> sessions) {
    SmbStatus status;
    status.sessions = std::move(sessions);
    status.treeConnects = {{"data", "1", 100, "pc1"}, {"data", "", 200, "pc2"}};
    SambaReader::SettleAuthenticating(status, accounts);
    return SambaTables::Make(SambaShareList::Parse("[data]\n\tpath = /srv/d\n"), status);
  };
  // New sessions still authenticating: no user yet, whether their tree
  // connect names them or is found by process.
  ServerTables t = read({Session("1", 100, "(auth in progress)", "pc1"),
                         Session("2", 200, "(auth in progress)", "pc2")});
  EXPECT_TRUE(t.connections.empty());
  EXPECT_TRUE(t.sessions.empty());
  read({Session("1", 100, "alice", "pc1"), Session("2", 200, "bob", "pc2")});
  // Renewing its credentials, a session keeps the account it had.
  t = read({Session("1", 100, "(auth in progress)", "pc1"), Session("2", 200, "bob", "pc2")});
  ASSERT_EQ(t.connections.size(), 2u);
  EXPECT_EQ(t.connections[0].user, "alice");
  EXPECT_EQ(t.sessions[0].user, "alice");
}

TEST(SambaStatusTest, ToolRunsMapToStatuses) {
  using Outcome = ProcessResult::Outcome;
  auto run = [](Outcome outcome, int code, std::string err) {
    ProcessResult r;
    r.outcome = outcome;
    r.exitCode = code;
    r.err = std::move(err);
    return SambaTools::StatusOfRun(r);
  };
  EXPECT_EQ(run(Outcome::Exited, 0, ""), NERR_Success);
  EXPECT_EQ(run(Outcome::TimedOut, -1, ""), NERR_ServerNotStarted);
  EXPECT_EQ(run(Outcome::Exited, 1, "smbstatus only works as root!\n"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(run(Outcome::Exited, 1, "sudo: a password is required\n"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(run(Outcome::Exited, 1, "tdb_open failed: Permission denied"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(run(Outcome::Exited, 1, "Error loading services."), kSambaToolFailed);
  EXPECT_EQ(run(Outcome::Signaled, -1, ""), kSambaToolFailed);
  EXPECT_EQ(run(Outcome::NotStarted, -1, ""), kSambaToolFailed);
}

// ---------------- the backend over stand-in tools ----------------

// Stand-ins for Samba's tools (small scripts that log their calls) and a
// process named smbd, so every path of a reading runs without root.
class SambaBackendTest : public test::StandInSambaTest {
 protected:
  void SetUp() override {
    SetUpStandIns("qm-samba-unit");
    Write("smb.conf", "[data]\n");
    Write("testparm.out",
          "[global]\n\tpid directory = " + dir_ + "/pid\n[data]\n\tpath = /srv/data\n");
    Write("smbstatus.json", R"({"sessions": {}, "tcons": {}, "open_files": {}})");
    Tool("testparm", "cat " + dir_ + "/testparm.out");
    Tool("smbstatus", "cat " + dir_ + "/smbstatus.json");
    Tool("smbcontrol", "");
    options_.smbConf = dir_ + "/smb.conf";
  }
  int SharesInit(ServerApi& api) {
    const int n = api.SharesInit();
    api.SharesExit();
    return n;
  }
  static bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) ::usleep(10000);
    return done();
  }
};

TEST_F(SambaBackendTest, ShareEnumerationReadsAfreshSessionEnumerationReusesRecentReading) {
  SambaServerBackend backend(options_);
  ServerApi api(backend);
  ASSERT_EQ(api.LoadServerApi(), 0) << api.LoadError();
  EXPECT_EQ(SharesInit(api), 2) << backend.LastFailure();  // data and IPC$
  EXPECT_EQ(SharesInit(api), 2);
  EXPECT_EQ(api.SessionsInit(), 0);
  api.SessionsExit();
  ASSERT_EQ(Calls("smbstatus").size(), 2u);
  EXPECT_EQ(Calls("smbstatus")[0], "--json --configfile=" + options_.smbConf);

  options_.sessionReuse = std::chrono::milliseconds(0);
  SambaServerBackend eager(options_);
  ServerApi eagerApi(eager);
  eagerApi.LoadServerApi();
  EXPECT_EQ(SharesInit(eagerApi), 2);
  EXPECT_EQ(eagerApi.SessionsInit(), 0);
  eagerApi.SessionsExit();
  EXPECT_EQ(Calls("smbstatus").size(), 4u);
}

TEST_F(SambaBackendTest, ShareListIsReadAgainOnlyWhenSmbConfChanges) {
  SambaServerBackend backend(options_);
  ServerApi api(backend);
  api.LoadServerApi();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(SharesInit(api), 2);
  ASSERT_EQ(Calls("testparm").size(), 1u);
  EXPECT_EQ(Calls("testparm")[0], "-s " + options_.smbConf);

  Write("testparm.out", "[global]\n\tpid directory = " + dir_ + "/pid\n[data]\n[more]\n");
  Write("smb.conf", "[data]\n[more]\n");
  EXPECT_EQ(SharesInit(api), 3);
  EXPECT_EQ(Calls("testparm").size(), 2u);
}

TEST_F(SambaBackendTest, PidDirectoryComesFromSambaWhenSmbConfLeavesItOut) {
  Write("testparm.out", "[data]\n");
  Tool("testparm", "case \"$*\" in *parameter-name*) echo " + dir_ + "/pid;; *) cat " + dir_ +
                       "/testparm.out;; esac");
  SambaServerBackend backend(options_);
  ServerApi api(backend);
  api.LoadServerApi();
  EXPECT_EQ(SharesInit(api), 2) << backend.LastFailure();
  ProcessRunner::KillAndReap(smbd_);
  smbd_ = -1;
  EXPECT_EQ(SharesInit(api), -static_cast<int>(NERR_ServerNotStarted));
}

TEST_F(SambaBackendTest, SmbdNotRunningGivesServerNotStartedWithoutAskingSmbstatus) {
  SambaServerBackend backend(options_);
  ServerApi api(backend);
  api.LoadServerApi();
  ProcessRunner::KillAndReap(smbd_);
  smbd_ = -1;
  EXPECT_EQ(SharesInit(api), -static_cast<int>(NERR_ServerNotStarted));
  // A pid file left behind, its number now another program's.
  Write("pid/smbd.pid", std::to_string(::getpid()) + "\n");
  EXPECT_EQ(SharesInit(api), -static_cast<int>(NERR_ServerNotStarted));
  fs::remove(dir_ + "/pid/smbd.pid");
  EXPECT_EQ(SharesInit(api), -static_cast<int>(NERR_ServerNotStarted));
  EXPECT_TRUE(Calls("smbstatus").empty());
  // Said once each: the stop, and smbd's return.
  EXPECT_EQ(backend.TakeNotices(), std::vector<std::string>{"Samba's smbd is not running"});
  StartSmbd();
  EXPECT_EQ(SharesInit(api), 2);
  EXPECT_EQ(SharesInit(api), 2);
  EXPECT_EQ(backend.TakeNotices(), std::vector<std::string>{"Samba's smbd is running again"});
}

TEST_F(SambaBackendTest, FailingReadingsWhileSmbdRunsLeaveTheStateUnreadOnce) {
  SambaServerBackend::Options quick = options_;
  quick.toolTimeout = std::chrono::milliseconds(300);
  SambaServerBackend backend(quick);
  ServerApi api(backend);
  api.LoadServerApi();
  const struct {
    std::string body;
    NetStatus status;
  } cases[] = {
      {"echo 'smbstatus only works as root!' >&2; exit 1", ERROR_ACCESS_DENIED},
      {"echo 'messaging failed' >&2; exit 2", kServerStateUnreadable},
      {"echo 'not json'", kServerStateUnreadable},
      {"exec sleep 10", kServerStateUnreadable},
  };
  for (const auto& c : cases) {
    Tool("smbstatus", c.body);
    EXPECT_EQ(SharesInit(api), -static_cast<int>(c.status)) << c.body;
    EXPECT_FALSE(backend.LastFailure().empty());
  }
  std::vector<std::string> notices = backend.TakeNotices();
  ASSERT_EQ(notices.size(), 1u);  // said once for three failures in a row
  EXPECT_NE(notices[0].find("cannot be read"), std::string::npos) << notices[0];
  Tool("smbstatus", "cat " + dir_ + "/smbstatus.json");
  EXPECT_EQ(SharesInit(api), 2);
  EXPECT_EQ(backend.LastFailure(), "");
  // The full listing failed while smbd ran: its parts serve until it is
  // tried again.
  notices = backend.TakeNotices();
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_NE(notices[0].find("full listing failed (" + dir_ + "/smbstatus: messaging failed"),
            std::string::npos)
      << notices[0];
  EXPECT_EQ(notices[1], "Samba's state can be read again");

  // A slow reading with smbd gone is a stopped server.
  Tool("smbstatus", "exec sleep 10");
  ProcessRunner::KillAndReap(smbd_);
  smbd_ = -1;
  EXPECT_EQ(SharesInit(api), -static_cast<int>(NERR_ServerNotStarted));
}

TEST_F(SambaBackendTest, BrokenSmbConfKeepsTheLastGoodShareListAndSaysSoOnce) {
  SambaServerBackend backend(options_);
  ServerApi api(backend);
  api.LoadServerApi();
  EXPECT_EQ(SharesInit(api), 2);
  Tool("testparm",
       "echo 'Load smb config files from x' >&2; "
       "echo 'set_variable_helper(maybe): value is not boolean!' >&2; exit 1");
  Write("smb.conf", "[data]\n  writeable = maybe\n");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(SharesInit(api), 2);
  EXPECT_EQ(Calls("testparm").size(), 2u);  // not asked again until smb.conf changes
  EXPECT_EQ(backend.TakeNotices(),
            std::vector<std::string>{"smb.conf has an error, the last good share list is kept: "
                                     "set_variable_helper(maybe): value is not boolean!"});
  Tool("testparm", "cat " + dir_ + "/testparm.out");
  Write("testparm.out", "[global]\n\tpid directory = " + dir_ + "/pid\n[data]\n[more]\n");
  Write("smb.conf", "[data]\n[more]\n");
  EXPECT_EQ(SharesInit(api), 3);
  EXPECT_EQ(backend.TakeNotices(), std::vector<std::string>{"smb.conf reads without error again"});
}

TEST_F(SambaBackendTest, ReadAheadReadsWhenATickIsDueAndEndsSessionsOnTheWorker) {
  options_.readAhead = true;
  options_.toolTimeout = std::chrono::seconds(60);
  Write("smbstatus.json",
        R"({"sessions": {"1": {"session_id": "1", "server_id": {"pid": "1111"},
            "remote_machine": "pc1"}}, "tcons": {}, "open_files": {}})");
  SambaServerBackend backend(options_);
  ServerApi api(backend);
  ASSERT_EQ(api.LoadServerApi(), 0) << api.LoadError();
  std::atomic<int> wakeUps{0};
  api.SetReadingWakeUp([&] { ++wakeUps; });
  EXPECT_EQ(SharesInit(api), 2);  // the start-up's reading, on the caller's thread
  EXPECT_EQ(SharesInit(api), 2);  // no tick due: no reading
  EXPECT_EQ(Calls("smbstatus").size(), 1u);
  ASSERT_TRUE(api.StartReading());
  ASSERT_TRUE(WaitFor([&] { return api.ReadingComplete(); }));
  EXPECT_EQ(wakeUps, 1);
  EXPECT_EQ(Calls("smbstatus").size(), 2u);

  // A deletion returns at once; until the worker has run it the session
  // enumerations leave the client out, and the tick's next reading comes
  // after it.
  Tool("smbcontrol", "sleep 0.3");
  const PlatformText pc1 = api.ToPlatformString("\\\\pc1");
  EXPECT_EQ(api.DeleteSession(pc1.get(), nullptr, 0), NERR_Success);
  EXPECT_EQ(api.SessionsInit(), 0);
  api.SessionsExit();
  ASSERT_TRUE(api.StartReading());
  ASSERT_TRUE(WaitFor([&] { return api.ReadingComplete(); }));
  EXPECT_EQ(Calls("smbcontrol").size(), 1u);
  EXPECT_EQ(Calls("smbstatus").size(), 3u);

  // A tool that hangs holds up neither the enumerations nor a stop.
  Tool("smbstatus", "exec sleep 60");
  ASSERT_TRUE(api.StartReading());
  ASSERT_TRUE(WaitFor([&] { return Calls("smbstatus").size() == 4u; }));
  EXPECT_FALSE(api.ReadingComplete());
  EXPECT_EQ(SharesInit(api), 2);
  const auto stop = std::chrono::steady_clock::now();
  api.UnloadServerApi();
  EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::seconds(5));
}

// A command waits for its deletion even with read-ahead: a session not
// ended is a failure with the tool's words, each time (the notice is once).
TEST_F(SambaBackendTest, DeletionThatWaitsGivesItsFailureAndWhyEvenWithReadAhead) {
  options_.readAhead = true;
  options_.ctdb = dir_ + "/ctdb";
  Tool("smbcontrol", "echo 'Cannot send message' >&2; exit 1");
  Write("testparm.out", "[global]\n\tclustering = yes\n\tpid directory = " + dir_ + "/pid\n");
  Write("smbstatus.json", R"({"sessions": {"1": {"session_id": "1",
      "server_id": {"pid": "1111", "vnn": "1"}, "remote_machine": "pc1"}}})");
  // This node's number cannot be learnt; it can, and pc1's node is not told.
  for (const auto& [ctdb, why] : std::map<std::string, std::string>{
           {"exit 1", "ctdb pnn"}, {"echo 0", "smbcontrol: Cannot send message (exit status 1)"}}) {
    Tool("ctdb", ctdb);
    SambaServerBackend backend(options_);
    ServerApi api(backend);
    ASSERT_EQ(api.LoadServerApi(), 0) << api.LoadError();
    SharesInit(api);
    backend.SetDeletionsWait(true);
    const PlatformText pc1 = api.ToPlatformString("\\\\pc1");
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(api.DeleteSession(pc1.get(), nullptr, 0), kSambaToolFailed) << why;
      EXPECT_NE(backend.DeletionFailure().find(why), std::string::npos)
          << backend.DeletionFailure();
    }
  }
}

TEST_F(SambaBackendTest, DeletionShutsDownExactlyTheClientsProcesses) {
  // alpha has two sessions; "alphabet" and "ALPHA" are other clients; beta
  // and epsilon claim a main smbd as theirs (the one of the pid file, and
  // one known as such by its parent); zeta is served by a child of an smbd;
  // gamma is known only by a tree connect.
  fs::copy_file("/bin/sh", dir_ + "/smbd-parent");
  std::string why;
  const pid_t otherMain = ProcessRunner::Spawn({dir_ + "/smbd", "60"}, -1, -1, -1, why);
  const pid_t parent = ProcessRunner::Spawn(
      {dir_ + "/smbd-parent", "-c", dir_ + "/smbd 60 & echo $! > " + dir_ + "/child; wait"}, -1, -1,
      -1, why);
  ASSERT_TRUE(otherMain > 0 && parent > 0) << why;
  std::string child, error;
  for (int i = 0; i < 500 && (!ReadWholeFile(dir_ + "/child", child, error) || child.empty());
       ++i) {
    ::usleep(10000);
  }
  child = child.substr(0, child.find('\n'));
  auto session = [](const std::string& id, const std::string& pid, const std::string& name) {
    return "\"" + id + "\": {\"session_id\": \"" + id + "\", \"server_id\": {\"pid\": \"" + pid +
           "\"}, \"remote_machine\": \"" + name + "\"}";
  };
  Write("smbstatus.json",
        "{\"sessions\": {" + session("1", "1111", "alpha") + ", " + session("2", "1112", "alpha") +
            ", " + session("3", "2222", "alphabet") + ", " + session("4", "3333", "ALPHA") + ", " +
            session("5", std::to_string(smbd_), "beta") + ", " +
            session("6", std::to_string(otherMain), "epsilon") + ", " +
            session("7", child, "zeta") + ", " + session("8", "all", "delta") +
            R"(}, "tcons": {"9": {"service": "data", "session_id": "99",
                "server_id": {"pid": "4444"}, "machine": "gamma"}}})");
  SambaServerBackend backend(options_);
  ServerApi api(backend);
  api.LoadServerApi();
  auto del = [&](const std::string& client) {
    const PlatformText name = api.ToPlatformString("\\\\" + client);
    return api.DeleteSession(name.get(), nullptr, 0);
  };
  const std::string conf = "--configfile=" + options_.smbConf;
  EXPECT_EQ(del("alpha"), NERR_Success);
  EXPECT_EQ(Calls("smbcontrol"),
            (std::vector<std::string>{conf + " 1111 shutdown", conf + " 1112 shutdown"}));
  for (const char* none : {"beta", "epsilon", "delta", "nobody-here"}) {
    EXPECT_EQ(del(none), NERR_ClientNameNotFound) << none;
  }
  EXPECT_EQ(del("gamma"), NERR_Success);
  EXPECT_EQ(del("zeta"), NERR_Success);
  EXPECT_EQ(Calls("smbcontrol"),
            (std::vector<std::string>{conf + " 1111 shutdown", conf + " 1112 shutdown",
                                      conf + " 4444 shutdown", conf + " " + child + " shutdown"}));
  ProcessRunner::KillAndReap(otherMain);
  ProcessRunner::KillAndReap(parent);
}

TEST_F(SambaBackendTest, PrintersComeFromCupsWhenSambaTakesThemFromThere) {
  Write("testparm.out", "[global]\n\tpid directory = " + dir_ +
                            "/pid\n\tprintcap name = cups\n[printers]\n\tpath = /var/spool/samba\n"
                            "\tprintable = Yes\n");
  Tool("lpstat", "printf 'laser\\nlaser/duplex\\n  ink \\n'");
  Write("smbstatus.json",
        R"({"sessions": {"1": {"session_id": "1", "server_id": {"pid": "7"}, "username": "u",
            "remote_machine": "pc1"}}, "tcons": {"2": {"service": "laser", "session_id": "1",
            "server_id": {"pid": "7"}, "machine": "pc1"}}, "open_files": {}})");
  options_.lpstat = dir_ + "/lpstat";
  SambaServerBackend backend(options_);
  ServerApi api(backend);
  ASSERT_EQ(api.LoadServerApi(), 0) << api.LoadError();
  const int n = api.SharesInit();
  int laser = -1;
  for (int i = 0; i < n; ++i) {
    if (api.FromPlatformString(api.ShareName(i)) == "laser") laser = api.ShareType(i);
  }
  api.SharesExit();
  EXPECT_EQ(laser, 1);  // a print queue with no job open yet
  SharesInit(api);
  EXPECT_EQ(Calls("lpstat"), std::vector<std::string>{"-e"});  // once a minute at most
  EXPECT_EQ(SambaShareSources::ParseCupsQueues("laser\nlaser/duplex\n  ink \r\n\n"),
            (std::vector<std::string>{"laser", "ink"}));
}

TEST_F(SambaBackendTest, LoadNeedsTheToolsAndTheNamedSmbConf) {
  std::string why;
  EXPECT_TRUE(SambaServerBackend(options_).Load(why)) << why;

  SambaServerBackend::Options missingTool = options_;
  missingTool.smbstatus = dir_ + "/no-smbstatus";
  EXPECT_FALSE(SambaServerBackend(missingTool).Load(why));
  EXPECT_NE(why.find("no-smbstatus"), std::string::npos) << why;

  SambaServerBackend::Options missingElevate = options_;
  missingElevate.elevate = {"qm-no-such-sudo", "-n"};
  EXPECT_FALSE(SambaServerBackend(missingElevate).Load(why));
  EXPECT_NE(why.find("qm-no-such-sudo"), std::string::npos) << why;

  SambaServerBackend::Options missingConf = options_;
  missingConf.smbConf = dir_ + "/none.conf";
  EXPECT_FALSE(SambaServerBackend(missingConf).Load(why));
  EXPECT_NE(why.find("none.conf"), std::string::npos) << why;
}

TEST_F(SambaBackendTest, ElevationPrefixesEveryTool) {
  Tool("elevate", "shift; exec \"$@\"");
  options_.elevate = {dir_ + "/elevate", "-n"};
  SambaServerBackend backend(options_);
  ServerApi api(backend);
  ASSERT_EQ(api.LoadServerApi(), 0) << api.LoadError();
  EXPECT_EQ(SharesInit(api), 2) << backend.LastFailure();
  EXPECT_EQ(Calls("elevate"),
            (std::vector<std::string>{
                "-n " + dir_ + "/testparm -s " + options_.smbConf,
                "-n " + dir_ + "/smbstatus --json " + "--configfile=" + options_.smbConf}));
}

}  // namespace
}  // namespace qm
