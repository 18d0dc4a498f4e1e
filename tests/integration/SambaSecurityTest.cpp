// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The dialect, signing and encryption of each client of a private smbd, as
// the monitor records them, against smbstatus's own answer: 200 SMB1, SMB2
// and SMB3 clients, some on a share that requires encryption, and signing
// made mandatory.
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "MonitorOnSamba.h"
#include "observe/EventStream.h"
#include "os/ProcessRunner.h"
#include "support/EventRecorder.h"

namespace qm::test {
namespace {

using Options = std::vector<std::string>;
const Options kSmb1 = {"-m", "NT1", "--option=client min protocol=NT1"};

class SambaSecurityTest : public MonitorOnSambaTest {
 protected:
  // smbd again with SMB1 allowed, these [global] lines, and the share
  // "vault", which requires encryption; then the clients (name, share,
  // smbclient's options), ticked until all are shown.
  void Serve(const std::string& global,
             const std::vector<std::tuple<std::string, std::string, Options>>& clients) {
    monitor->SetTelemetry(&stream_);
    monitor->TreeViewCurrent.AddObserver(&stream_);
    const std::string vault = server.Folder() + "/vault";
    std::filesystem::create_directories(vault);
    ::chmod(vault.c_str(), 0777);
    EditConf("  server min protocol = NT1\n" + global,
             "[vault]\n  path = " + vault + "\n  smb encrypt = required\n");
    server.StopSmbd();
    std::string why;
    ASSERT_TRUE(server.StartSmbd(why)) << why;
    for (const auto& [name, share, options] : clients) {
      ASSERT_GE(server.StartClient(name, share, false, options), 0) << name;
    }
    ASSERT_TRUE(TickUntil(
        [&] {
          for (const auto& c : clients) {
            if (!Shows(Key(std::get<0>(c)), std::get<1>(c))) return false;
          }
          return true;
        },
        std::chrono::seconds(240)))
        << server.SmbdOutput();
    monitor->TreeViewCurrent.RemoveObserver(&stream_);
    // Every user's facts are its session's in smbstatus's answer, read
    // here apart from the program's reader.
    ProcessRunner::Options run;
    run.timeout = std::chrono::seconds(30);
    const ProcessResult r =
        ProcessRunner::Run({"smbstatus", "--json", "--configfile=" + server.ConfPath()}, run);
    ASSERT_TRUE(r.Succeeded()) << r.error << r.err;
    const auto sessions = nlohmann::json::parse(r.out).at("sessions");
    ASSERT_EQ(sessions.size(), clients.size());
    auto cipher = [](const nlohmann::json& p) {
      return p.at("cipher") == "-" ? "" : p.at("cipher");
    };
    for (const auto& s : sessions) {
      const TUser* user = UserOf(Current(s.at("remote_machine")));
      ASSERT_NE(user, nullptr) << s;
      const SessionSecurity& f = user->Security;
      EXPECT_EQ(nlohmann::json(
                    {"", f.dialect, f.signing, f.signingCipher, f.encryption, f.encryptionCipher}),
                nlohmann::json({f.node, s.at("session_dialect"), s.at("signing").at("degree"),
                                cipher(s.at("signing")), s.at("encryption").at("degree"),
                                cipher(s.at("encryption"))}));
    }
  }
  // How many security events told this finding.
  int Told(ConnectionEvent::Finding finding) const {
    return static_cast<int>(std::count_if(events_.begin(), events_.end(), [&](const auto& e) {
      return e.kind == ConnectionEvent::Kind::Security && e.finding == finding;
    }));
  }

  EventStream stream_{[] { return 1.7e9; }};
  test::EventRecorder recorder_{stream_};
  std::vector<ConnectionEvent>& events_ = recorder_.events;
};

TEST_F(SambaSecurityTest, TwoHundredClientsOfMixedDialectsMatchSmbstatus) {
  // SMB1 on both shares, SMB2.1 (which cannot encrypt) on data only, SMB3
  // plain and sealed on both. smbd lets SMB1 connect to the share that
  // requires encryption (and refuses its requests there); SMB3 encrypts.
  const Options kinds[] = {kSmb1, {"-m", "SMB2_10"}, {}, {"--client-protection=encrypt"}};
  std::vector<std::tuple<std::string, std::string, Options>> clients;
  for (int i = 0; i < 200; ++i) {
    const bool vault = i % 4 != 1 && (i / 4) % 2 == 1;
    clients.emplace_back("PC" + std::to_string(1000 + i), vault ? "vault" : "data", kinds[i % 4]);
  }
  Serve("", clients);
  EXPECT_EQ(Told(ConnectionEvent::Finding::Smb1), 50);
  EXPECT_EQ(Told(ConnectionEvent::Finding::Unencrypted), 25);
  // Every SMB1 client is told unsigned; smbstatus may show an SMB3 session
  // unsigned for a moment while it is set up, which is told too.
  EXPECT_GE(Told(ConnectionEvent::Finding::Unsigned), 50);
  for (const auto& e : events_) {
    if (e.finding == ConnectionEvent::Finding::Unsigned && e.security.dialect == "NT1") {
      EXPECT_TRUE(UserOf(Current(e.client))->Security.Unsigned()) << e.client;
    }
  }
  EXPECT_EQ(UserOf(Current("pc1004"))->Security.unencryptedShares, Options{"vault"});
}

TEST_F(SambaSecurityTest, MandatorySigningSignsEvenSmb1) {
  Serve("  server signing = mandatory\n", {{"OLD", "data", kSmb1}, {"NEW", "data", {}}});
  EXPECT_EQ(UserOf(Current("old"))->Security.signing, "full");
  EXPECT_EQ(Told(ConnectionEvent::Finding::Smb1), 1);
  EXPECT_EQ(Told(ConnectionEvent::Finding::Unsigned), 0);
}

}  // namespace
}  // namespace qm::test
