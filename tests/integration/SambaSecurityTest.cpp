// The dialect, signing and encryption of each client of a private smbd, as
// the monitor records them, against smbstatus's own answer: SMB1, SMB2 and
// SMB3 clients, a share that requires encryption, signing made mandatory,
// and 200 clients at once.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "MonitorOnSamba.h"
#include "observe/EventStream.h"
#include "platform/ProcessRunner.h"

namespace qm::test {
namespace {

const std::vector<std::string> kSmb1 = {"-m", "NT1", "--option=client min protocol=NT1"};
const std::vector<std::string> kSmb2 = {"-m", "SMB2_10"};
const std::vector<std::string> kSmb3 = {};
const std::vector<std::string> kSealed = {"--client-protection=encrypt"};

class SambaSecurityTest : public MonitorOnSambaTest {
 protected:
  void SetUp() override {
    MonitorOnSambaTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    monitor->SetTelemetry(&stream_);
    monitor->TreeViewCurrent.AddObserver(&stream_);
  }
  void TearDown() override {
    if (monitor) monitor->TreeViewCurrent.RemoveObserver(&stream_);
    MonitorOnSambaTest::TearDown();
  }

  // smbd again with SMB1 allowed, these [global] lines, and the share
  // "vault", which requires encryption.
  void Restart(const std::string& global) {
    const std::string vault = server.Folder() + "/vault";
    std::filesystem::create_directories(vault);
    ::chmod(vault.c_str(), 0777);
    EditConf("  server min protocol = NT1\n" + global,
             "[vault]\n  path = " + vault + "\n  read only = no\n  smb encrypt = required\n");
    server.StopSmbd();
    std::string why;
    ASSERT_TRUE(server.StartSmbd(why)) << why;
  }

  // Starts the clients (name, share, smbclient options) and ticks until
  // every one is shown.
  struct Start {
    std::string name, share;
    std::vector<std::string> options;
  };
  void Connect(const std::vector<Start>& clients, std::chrono::seconds timeout) {
    for (const Start& c : clients) {
      ASSERT_GE(server.StartClient(c.name, c.share, false, c.options), 0) << c.name;
    }
    const bool shown = TickUntil(
        [&] {
          return std::all_of(clients.begin(), clients.end(),
                             [&](const Start& c) { return Shows(Key(c.name), c.share); });
        },
        timeout);
    ASSERT_TRUE(shown) << server.SmbdOutput();
  }

  // Every current user's facts are those of its session in smbstatus's own
  // answer, read here apart from the program's reader.
  void ExpectFactsOfSmbstatus(std::size_t users) {
    ProcessRunner::Options options;
    options.timeout = std::chrono::seconds(30);
    const ProcessResult run =
        ProcessRunner::Run({"smbstatus", "--json", "--configfile=" + server.ConfPath()}, options);
    ASSERT_TRUE(run.Succeeded()) << run.error << run.err;
    const auto sessions = nlohmann::json::parse(run.out).at("sessions");
    ASSERT_EQ(sessions.size(), users);
    auto cipher = [](const nlohmann::json& p) {
      const std::string c = p.at("cipher");
      return c == "-" ? std::string() : c;
    };
    for (const auto& s : sessions) {
      const std::string client = s.at("remote_machine");
      const TUser* user = UserOf(Current(client));
      ASSERT_NE(user, nullptr) << client;
      const SessionSecurity& f = user->Security;
      EXPECT_EQ(f.node, "") << client;
      EXPECT_EQ(f.dialect, s.at("session_dialect")) << client;
      EXPECT_EQ(f.signing, s.at("signing").at("degree")) << client;
      EXPECT_EQ(f.signingCipher, cipher(s.at("signing"))) << client;
      EXPECT_EQ(f.encryption, s.at("encryption").at("degree")) << client;
      EXPECT_EQ(f.encryptionCipher, cipher(s.at("encryption"))) << client;
    }
  }

  const SessionSecurity& Facts(const std::string& name) {
    static const SessionSecurity none;
    const TUser* user = UserOf(Current(Key(name)));
    return user ? user->Security : none;
  }
  // The security events told, each as "client finding share".
  std::vector<std::string> Findings() const {
    std::vector<std::string> found;
    for (const auto& e : events_) {
      if (e.kind == ConnectionEvent::Kind::Security) {
        found.push_back(e.client + " " + FindingName(e.finding) + " " + e.share);
      }
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  std::vector<ConnectionEvent> events_;
  EventStream stream_{[this](const ConnectionEvent& e) { events_.push_back(e); },
                      [] { return 1.7e9; }};
};

TEST_F(SambaSecurityTest, DialectSigningAndEncryptionOfEachClientAreSmbstatuss) {
  Restart("");
  if (HasFatalFailure()) return;
  Connect({{"OLD", "data", kSmb1},
           {"OLDVAULT", "vault", kSmb1},
           {"TWO", "data", kSmb2},
           {"THREE", "vault", kSmb3},
           {"SEALED", "data", kSealed}},
          std::chrono::seconds(30));
  if (HasFatalFailure()) return;
  ExpectFactsOfSmbstatus(5);
  EXPECT_EQ(Facts("OLD").dialect, "NT1");
  EXPECT_EQ(Facts("OLD").signing, "none");
  EXPECT_EQ(Facts("TWO").dialect, "SMB2_10");
  EXPECT_EQ(Facts("THREE").dialect.substr(0, 4), "SMB3");
  EXPECT_NE(Facts("SEALED").encryptionCipher, "");
  // smbd lets an SMB1 client connect to a share that requires encryption
  // (and refuses its requests there); SMB3 encrypts its tree connect.
  EXPECT_EQ(Facts("OLDVAULT").unencryptedShares, std::vector<std::string>{"vault"});
  EXPECT_TRUE(Facts("THREE").unencryptedShares.empty());
  EXPECT_EQ(Findings(),
            (std::vector<std::string>{"old smb1 ", "old unsigned ", "oldvault smb1 ",
                                      "oldvault unencrypted vault", "oldvault unsigned "}));
}

TEST_F(SambaSecurityTest, MandatorySigningSignsEvenSmb1) {
  Restart("  server signing = mandatory\n");
  if (HasFatalFailure()) return;
  Connect({{"OLD", "data", kSmb1}, {"NEW", "data", kSmb3}}, std::chrono::seconds(30));
  if (HasFatalFailure()) return;
  ExpectFactsOfSmbstatus(2);
  EXPECT_EQ(Facts("OLD").dialect, "NT1");
  EXPECT_EQ(Facts("OLD").signing, "full");
  EXPECT_EQ(Facts("NEW").signing, "full");
  EXPECT_EQ(Findings(), std::vector<std::string>{"old smb1 "});
}

TEST_F(SambaSecurityTest, TwoHundredClientsOfMixedDialectsMatchSmbstatus) {
  Restart("");
  if (HasFatalFailure()) return;
  // SMB1 on both shares, SMB2.1 (which cannot encrypt) on data only, SMB3
  // plain and sealed on both.
  std::vector<Start> clients;
  for (int i = 0; i < 200; ++i) {
    static const std::vector<std::string>* const kKinds[] = {&kSmb1, &kSmb2, &kSmb3, &kSealed};
    const int kind = i % 4;
    const bool vault = kind != 1 && (i / 4) % 2 == 1;
    clients.push_back({"PC" + std::to_string(1000 + i), vault ? "vault" : "data", *kKinds[kind]});
  }
  Connect(clients, std::chrono::seconds(240));
  if (HasFatalFailure()) return;
  ExpectFactsOfSmbstatus(200);
  const auto found = Findings();
  auto count = [&](const std::string& finding) {
    return std::count_if(found.begin(), found.end(), [&](const std::string& f) {
      return f.find(" " + finding + " ") != std::string::npos;
    });
  };
  EXPECT_EQ(count("smb1"), 50);
  EXPECT_EQ(count("unsigned"), 50);
  EXPECT_EQ(count("unencrypted"), 25);
}

}  // namespace
}  // namespace qm::test
