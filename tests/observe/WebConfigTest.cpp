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
                                                   "http_server_config:\n  http2: true\n"
                                                   "  headers: {x-frame-options: DENY}\n"
                                                   "basic_auth_users:\n  prometheus: ") +
                                           kHash + "\n",
                                       "/etc/qm", error);
  ASSERT_TRUE(config) << error;
  EXPECT_EQ(config->certFile, "/etc/qm/a.crt");
  EXPECT_EQ(config->keyFile, "/etc/k.key");
  EXPECT_EQ(config->clientCaFile, "/etc/qm/ca.crt");
  EXPECT_EQ(config->clientAuth, WebConfig::ClientAuth::RequireAndVerify);
  EXPECT_EQ(config->users.at("prometheus"), kHash);
  EXPECT_EQ(config->headers.at(0),
            std::make_pair(std::string("X-Frame-Options"), std::string("DENY")));
  const auto empty = WebConfig::Parse("", "/etc", error);
  ASSERT_TRUE(empty);
  EXPECT_FALSE(empty->Tls());
  EXPECT_TRUE(empty->users.empty());
}

std::string Tls(const std::string& more) {
  return "tls_server_config: {cert_file: a, key_file: b, " + more + "}\n";
}

TEST(WebConfigTest, RefusesWhatWouldLeaveTheEndpointMoreOpenThanItSays) {
  const struct {
    std::string text, error;
  } cases[] = {
      {"tls_server_config:\n  cert_file: a.crt\n", "needs both cert_file and key_file"},
      {Tls("min_version: TLS14"), "min_version TLS14 is not a TLS version"},
      {Tls("min_version: TLS13, max_version: TLS12"), "TLS13 is above max_version TLS12"},
      {Tls("client_auth_type: RequireAnyClientCert"), "RequireAnyClientCert needs client_ca_file"},
      {Tls("client_auth_type: RequireAndVerifyClientCert"), "needs client_ca_file"},
      {Tls("client_auth_type: Maybe"), "client_auth_type Maybe is not supported"},
      {Tls("cipher_suites: [TLS_AES_128_GCM_SHA256]"), "TLS_AES_128_GCM_SHA256 cannot be offered"},
      // Both key exchanges and both ciphers: GnuTLS would offer the crossings too.
      {Tls("cipher_suites: [TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256, "
           "TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384]"),
       "without also offering TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256"},
      {Tls("cipher_suites: []"), "cipher_suites is empty"},
      {Tls("curve_preferences: [X448]"), "curve_preferences: X448 is not supported"},
      {Tls("prefer_server_cipher_suites: 1"), "prefer_server_cipher_suites must be true or false"},
      {"http_server_config: {headers: {Content-Type: text/html}}", "Content-Type cannot be set"},
      {"http_server_config: {headers: {X-Frame-Options: allow}}", "cannot be \"allow\""},
      {"http_server_config: {headers: {X-XSS-Protection: \"1\\r\\nSet-Cookie: a=b\"}}",
       "X-XSS-Protection cannot be"},
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

// Each accepted TLS setting, by what it puts in GnuTLS' priority string.
TEST(WebConfigTest, TlsSettingsBecomeGnuTlsPriorities) {
  const struct {
    std::string more, has, hasNot;
  } cases[] = {
      // TLS 1.2 is the least by default, as for the exporters.
      {"", "NORMAL:-VERS-ALL:+VERS-TLS1.2:+VERS-TLS1.3:%SERVER_PRECEDENCE", "TLS1.1"},
      {"min_version: TLS10", "-VERS-ALL:+VERS-TLS1.0:+VERS-TLS1.1:+VERS-TLS1.2:+VERS-TLS1.3",
       "GROUP"},
      {"min_version: TLS12, max_version: TLS12", "-VERS-ALL:+VERS-TLS1.2:", "TLS1.3"},
      {"prefer_server_cipher_suites: no", "+VERS-TLS1.3", "SERVER_PRECEDENCE"},
      {"curve_preferences: [X25519, CurveP384]", ":-GROUP-ALL:+GROUP-X25519:+GROUP-SECP384R1",
       "SECP256R1"},
      {"cipher_suites: [TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384, "
       "TLS_ECDHE_ECDSA_WITH_CHACHA20_POLY1305_SHA256]",
       ":-KX-ALL:-CIPHER-ALL:-MAC-ALL:+ECDHE-ECDSA:+AES-256-GCM:+CHACHA20-POLY1305:+AEAD",
       "ECDHE-RSA"},
      // Two key exchanges by two ciphers, all four listed: exactly those.
      {"cipher_suites: [TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256, "
       "TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384, TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256, "
       "TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384]",
       ":+ECDHE-RSA:+ECDHE-ECDSA:+AES-128-GCM:+AES-256-GCM:+AEAD", "CBC"},
  };
  for (const auto& c : cases) {
    std::string error;
    const auto config = WebConfig::Parse(Tls(c.more), "/etc", error);
    ASSERT_TRUE(config) << c.more << error;
    EXPECT_NE(config->priorities.find(c.has), std::string::npos)
        << c.more << " -> " << config->priorities;
    EXPECT_EQ(config->priorities.find(c.hasNot), std::string::npos)
        << c.more << " -> " << config->priorities;
    // GnuTLS itself takes every one.
    WebAccess access;
    auto read = [](const std::string&, std::string& text, std::string&) {
      text = "PEM";
      return true;
    };
    EXPECT_TRUE(access.Load(*config, read, error)) << c.more << error;
    EXPECT_NE(access.DaemonFlags(), 0u);
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
