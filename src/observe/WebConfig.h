// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qm {

// The metrics endpoint's web configuration, in the format of Prometheus'
// exporters (--web.config.file), so that one file serves every exporter of
// a server:
//
//   tls_server_config:
//     cert_file: server.crt        # PEM; relative to the file's folder
//     key_file: server.key
//     client_ca_file: clients.crt  # optional: clients must show a
//     client_auth_type: RequireAndVerifyClientCert  # certificate it signed
//     min_version: TLS12           # TLS10..TLS13; TLS12 when not given
//     max_version: TLS13
//     cipher_suites: [TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384]  # TLS 1.2 and below
//     curve_preferences: [X25519, CurveP256]
//     prefer_server_cipher_suites: true
//   http_server_config:
//     headers: {X-Frame-Options: deny}  # added to every answer
//   basic_auth_users:
//     prometheus: $2y$10$...       # bcrypt, e.g. htpasswd -nBC 10 ""
//
// Keys it does not know are errors, as they are for the exporters: a
// setting that is silently ignored would leave the endpoint more open than
// its administrator thinks. So is a value that GnuTLS cannot honour
// exactly (a cipher suite it cannot offer without offering others too).
struct WebConfig {
  enum class ClientAuth {
    None,
    Request,           // asked for, taken unverified when shown
    RequireAny,        // must be shown, not verified
    VerifyIfGiven,     // verified when shown
    RequireAndVerify,  // must be shown and verified
  };

  std::string certFile, keyFile, clientCaFile;  // empty: no TLS / no client CA
  ClientAuth clientAuth = ClientAuth::None;
  // The GnuTLS priority string of the TLS settings.
  std::string priorities;
  // Headers added to every answer, in the file's order.
  std::vector<std::pair<std::string, std::string>> headers;
  std::map<std::string, std::string> users;  // name -> bcrypt hash; empty: no password

  bool Tls() const { return !certFile.empty(); }

  // Reads the text of a web configuration file; relative file names are
  // taken relative to folder. nullopt with error set when it is not one.
  static std::optional<WebConfig> Parse(const std::string& text, const std::string& folder,
                                        std::string& error);
};

}  // namespace qm
