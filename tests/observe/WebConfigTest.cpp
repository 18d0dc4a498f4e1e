// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>

#include "observe/WebAccess.h"
#include "observe/WebConfig.h"

namespace qm::test {
namespace {

// htpasswd -nbBC 4 prometheus s3cret
constexpr const char* kHash = "$2y$04$SpB9e9MbuDcVIf6bTH9NyuHP6Cm5WfBiK.vKCJnVRpaaJnH6gMf0K";

TEST(WebConfigTest, ReadsWhatTheExportersRead) {
  std::string error;
  const auto config = WebConfig::Parse(std::string("tls_server_config:\n  cert_file: a.crt\n"
                                                   "  key_file: /etc/k.key\n"
                                                   "  client_ca_file: ca.crt\n"
                                                   "basic_auth_users:\n  prometheus: ") +
                                           kHash + "\n",
                                       "/etc/qm", error);
  ASSERT_TRUE(config) << error;
  EXPECT_EQ(config->certFile, "/etc/qm/a.crt");
  EXPECT_EQ(config->keyFile, "/etc/k.key");
  EXPECT_EQ(config->clientCaFile, "/etc/qm/ca.crt");
  EXPECT_EQ(config->clientAuth, WebConfig::ClientAuth::RequireAndVerify);
  EXPECT_EQ(config->users.at("prometheus"), kHash);
  const auto empty = WebConfig::Parse("", "/etc", error);
  ASSERT_TRUE(empty);
  EXPECT_FALSE(empty->Tls());
  EXPECT_TRUE(empty->users.empty());
}

TEST(WebConfigTest, RefusesWhatWouldLeaveTheEndpointMoreOpenThanItSays) {
  const struct {
    std::string text, error;
  } cases[] = {
      {"tls_server_config:\n  cert_file: a.crt\n", "needs both cert_file and key_file"},
      {"tls_server_config:\n  cert_file: a\n  key_file: b\n  min_version: TLS13\n",
       "min_version is not supported"},
      {"http_server_config:\n  http2: false\n", "http_server_config is not supported"},
      {"tls_server_config:\n  cert_file: a\n  key_file: b\n  client_auth_type: "
       "RequireAnyClientCert\n",
       "RequireAnyClientCert is not supported"},
      {"tls_server_config:\n  cert_file: a\n  key_file: b\n"
       "  client_auth_type: RequireAndVerifyClientCert\n",
       "needs client_ca_file"},
      {"basic_auth_users:\n  alice: secret\n", "not a bcrypt hash"},
      {"basic_auth_users:\n  alice: $1$abc$0123456789012345678901\n", "not a bcrypt hash"},
      {"basic_auth_users:\n  \"a:b\": x\n", "cannot be used"},
      {"basic_auth_users: [alice]\n", "must be a mapping"},
      {"- just\n- a list\n", "must be a mapping"},
      {"tls_server_config: {cert_file: [a], key_file: b}\n", "cert_file must be a text"},
      {"tls_server_config: {\n", ""},  // the YAML reader's own words
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(WebConfig::Parse(c.text, "/etc", error)) << c.text;
    EXPECT_FALSE(error.empty()) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.text << " -> " << error;
  }
}

// htpasswd -nbBC 10 prometheus s3cret
constexpr const char* kHash10 = "$2y$10$40v.rfkU93cUOdzuvnfLr.OQ4KSty4WvWm9qZKBrIlTVY3rQonyZK";

TEST(WebAccessTest, AHashOfACostBelowTenIsRefusedWithTheUserAndTheCost) {
  std::string error;
  const auto config = WebConfig::Parse(
      std::string("basic_auth_users:\n  ok: ") + kHash10 + "\n  weak: " + kHash + "\n", "/etc",
      error);
  ASSERT_TRUE(config) << error;
  WebAccess access;
  EXPECT_FALSE(access.Load(*config, nullptr, error));
  EXPECT_NE(error.find("\"weak\" has cost 4"), std::string::npos) << error;
  EXPECT_NE(error.find("htpasswd -nbBC 10"), std::string::npos) << error;
}

TEST(WebAccessTest, PasswordMatchesOnlyTheUsersOwnHash) {
  std::string error;
  const auto config = WebConfig::Parse(
      std::string("basic_auth_users:\n  prometheus: ") + kHash10 + "\n  other: " + kHash10 + "\n",
      "/etc", error);
  ASSERT_TRUE(config) << error;
  WebAccess access;
  ASSERT_TRUE(access.Load(*config, nullptr, error)) << error;
  for (int round = 0; round < 2; ++round) {  // the second from what matched before
    EXPECT_TRUE(access.PasswordMatches("prometheus", "s3cret"));
    EXPECT_FALSE(access.PasswordMatches("prometheus", "s3cret "));
    EXPECT_FALSE(access.PasswordMatches("prometheus", ""));
    EXPECT_FALSE(access.PasswordMatches("nobody", "s3cret"));
    EXPECT_FALSE(access.PasswordMatches("Prometheus", "s3cret"));
  }
  EXPECT_EQ(access.DaemonFlags(), 0u);  // no TLS without a certificate
}

}  // namespace
}  // namespace qm::test
