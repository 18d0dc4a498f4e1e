// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/WebConfig.h"

#include <yaml-cpp/yaml.h>

#include <set>
#include <stdexcept>

namespace qm {

namespace {

[[noreturn]] void Fail(const std::string& why) {
  throw std::runtime_error(why);
}

void OnlyKeys(const YAML::Node& map, const std::string& where, const std::set<std::string>& known) {
  for (const auto& entry : map) {
    const std::string key = entry.first.as<std::string>();
    if (!known.count(key)) {
      Fail(where + (where.empty() ? "" : ": ") + "the key " + key + " is not supported");
    }
  }
}

std::string Text(const YAML::Node& node, const std::string& key) {
  if (!node.IsScalar()) Fail(key + " must be a text");
  return node.as<std::string>();
}

std::string FileName(const YAML::Node& node, const std::string& key, const std::string& folder) {
  std::string name = Text(node, key);
  if (name.empty()) Fail(key + " is empty");
  if (name.front() != '/' && !folder.empty()) name = folder + "/" + name;
  return name;
}

void ReadTls(const YAML::Node& tls, const std::string& folder, WebConfig& config) {
  if (!tls.IsMap()) Fail("tls_server_config must be a mapping");
  OnlyKeys(tls, "tls_server_config",
           {"cert_file", "key_file", "client_ca_file", "client_auth_type"});
  if (!tls["cert_file"] || !tls["key_file"]) {
    Fail("tls_server_config needs both cert_file and key_file");
  }
  config.certFile = FileName(tls["cert_file"], "cert_file", folder);
  config.keyFile = FileName(tls["key_file"], "key_file", folder);
  if (tls["client_ca_file"]) {
    config.clientCaFile = FileName(tls["client_ca_file"], "client_ca_file", folder);
  }
  std::string type =
      tls["client_auth_type"] ? Text(tls["client_auth_type"], "client_auth_type") : "";
  if (type.empty())
    type = config.clientCaFile.empty() ? "NoClientCert" : "RequireAndVerifyClientCert";
  if (type == "NoClientCert") {
    config.clientAuth = WebConfig::ClientAuth::None;
  } else if (type == "VerifyClientCertIfGiven") {
    config.clientAuth = WebConfig::ClientAuth::VerifyIfGiven;
  } else if (type == "RequireAndVerifyClientCert") {
    config.clientAuth = WebConfig::ClientAuth::RequireAndVerify;
  } else {
    Fail("client_auth_type " + type +
         " is not supported (NoClientCert, VerifyClientCertIfGiven, RequireAndVerifyClientCert)");
  }
  if (config.clientAuth != WebConfig::ClientAuth::None && config.clientCaFile.empty()) {
    Fail("client_auth_type " + type + " needs client_ca_file");
  }
}

void ReadUsers(const YAML::Node& users, WebConfig& config) {
  if (users.IsNull()) return;
  if (!users.IsMap()) Fail("basic_auth_users must be a mapping of user names to bcrypt hashes");
  for (const auto& entry : users) {
    const std::string name = entry.first.as<std::string>();
    const std::string hash = Text(entry.second, "the hash of " + name);
    // crypt(3) would take other schemes too; the format promises bcrypt.
    if (name.empty() || name.find(':') != std::string::npos) {
      Fail("the user name \"" + name + "\" cannot be used in basic authentication");
    }
    if (hash.size() != 60 || hash[0] != '$' || hash[1] != '2' || hash[3] != '$' ||
        (hash[2] != 'a' && hash[2] != 'b' && hash[2] != 'y')) {
      Fail("the hash of " + name + " is not a bcrypt hash ($2a$, $2b$ or $2y$, 60 characters)");
    }
    config.users[name] = hash;
  }
}

}  // namespace

std::optional<WebConfig> WebConfig::Parse(const std::string& text, const std::string& folder,
                                          std::string& error) {
  try {
    const YAML::Node root = YAML::Load(text);
    WebConfig config;
    if (root.IsNull()) return config;  // an empty file: plain HTTP, as for the exporters
    if (!root.IsMap()) Fail("the file must be a mapping");
    OnlyKeys(root, "", {"tls_server_config", "basic_auth_users"});
    if (root["tls_server_config"]) ReadTls(root["tls_server_config"], folder, config);
    if (root["basic_auth_users"]) ReadUsers(root["basic_auth_users"], config);
    return config;
  } catch (const YAML::Exception& e) {
    error = e.what();
  } catch (const std::runtime_error& e) {
    error = e.what();
  }
  return std::nullopt;
}

}  // namespace qm
