// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <map>
#include <optional>
#include <string>

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
//   basic_auth_users:
//     prometheus: $2y$10$...       # bcrypt, e.g. htpasswd -nBC 10 ""
//
// Keys it does not know are errors, as they are for the exporters: a
// setting that is silently ignored would leave the endpoint more open than
// its administrator thinks.
struct WebConfig {
  enum class ClientAuth { None, VerifyIfGiven, RequireAndVerify };

  std::string certFile, keyFile, clientCaFile;  // empty: no TLS / no client CA
  ClientAuth clientAuth = ClientAuth::None;
  std::map<std::string, std::string> users;  // name -> bcrypt hash; empty: no password

  bool Tls() const { return !certFile.empty(); }

  // Reads the text of a web configuration file; relative file names are
  // taken relative to folder. nullopt with error set when it is not one.
  static std::optional<WebConfig> Parse(const std::string& text, const std::string& folder,
                                        std::string& error);
};

}  // namespace qm
