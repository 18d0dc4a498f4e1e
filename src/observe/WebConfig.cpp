// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/WebConfig.h"

#include <strings.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
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

// YAML's booleans, as the exporters read them (true, yes, on, ...).
bool Bool(const YAML::Node& node, const std::string& key) {
  bool value = false;
  if (!node.IsScalar() || !YAML::convert<bool>::decode(node, value)) {
    Fail(key + " must be true or false, not " +
         (node.IsScalar() ? node.Scalar() : "a list or mapping"));
  }
  return value;
}

std::string FileName(const YAML::Node& node, const std::string& key, const std::string& folder) {
  std::string name = Text(node, key);
  if (name.empty()) Fail(key + " is empty");
  if (name.front() != '/' && !folder.empty()) name = folder + "/" + name;
  return name;
}

// The TLS versions by their names in the file, in order.
constexpr const char* kVersions[][2] = {{"TLS10", "VERS-TLS1.0"},
                                        {"TLS11", "VERS-TLS1.1"},
                                        {"TLS12", "VERS-TLS1.2"},
                                        {"TLS13", "VERS-TLS1.3"}};
constexpr int kVersionCount = 4;

int Version(const YAML::Node& node, const std::string& key) {
  const std::string name = Text(node, key);
  for (int i = 0; i < kVersionCount; ++i) {
    if (name == kVersions[i][0]) return i;
  }
  Fail("tls_server_config: " + key + " " + name + " is not a TLS version (TLS10 to TLS13)");
}

// The TLS 1.2 and older cipher suites by their names in the file, as the
// key exchange, cipher and MAC that GnuTLS chooses them by.
struct Suite {
  const char *name, *kx, *cipher, *mac;
};
constexpr Suite kSuites[] = {
    {"TLS_RSA_WITH_AES_128_CBC_SHA", "RSA", "AES-128-CBC", "SHA1"},
    {"TLS_RSA_WITH_AES_256_CBC_SHA", "RSA", "AES-256-CBC", "SHA1"},
    {"TLS_RSA_WITH_AES_128_CBC_SHA256", "RSA", "AES-128-CBC", "SHA256"},
    {"TLS_RSA_WITH_AES_128_GCM_SHA256", "RSA", "AES-128-GCM", "AEAD"},
    {"TLS_RSA_WITH_AES_256_GCM_SHA384", "RSA", "AES-256-GCM", "AEAD"},
    {"TLS_ECDHE_ECDSA_WITH_AES_128_CBC_SHA", "ECDHE-ECDSA", "AES-128-CBC", "SHA1"},
    {"TLS_ECDHE_ECDSA_WITH_AES_256_CBC_SHA", "ECDHE-ECDSA", "AES-256-CBC", "SHA1"},
    {"TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA", "ECDHE-RSA", "AES-128-CBC", "SHA1"},
    {"TLS_ECDHE_RSA_WITH_AES_256_CBC_SHA", "ECDHE-RSA", "AES-256-CBC", "SHA1"},
    {"TLS_ECDHE_ECDSA_WITH_AES_128_CBC_SHA256", "ECDHE-ECDSA", "AES-128-CBC", "SHA256"},
    {"TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA256", "ECDHE-RSA", "AES-128-CBC", "SHA256"},
    {"TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256", "ECDHE-RSA", "AES-128-GCM", "AEAD"},
    {"TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256", "ECDHE-ECDSA", "AES-128-GCM", "AEAD"},
    {"TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384", "ECDHE-RSA", "AES-256-GCM", "AEAD"},
    {"TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384", "ECDHE-ECDSA", "AES-256-GCM", "AEAD"},
    {"TLS_ECDHE_RSA_WITH_CHACHA20_POLY1305_SHA256", "ECDHE-RSA", "CHACHA20-POLY1305", "AEAD"},
    {"TLS_ECDHE_ECDSA_WITH_CHACHA20_POLY1305_SHA256", "ECDHE-ECDSA", "CHACHA20-POLY1305", "AEAD"},
    {"TLS_ECDHE_RSA_WITH_CHACHA20_POLY1305", "ECDHE-RSA", "CHACHA20-POLY1305", "AEAD"},
    {"TLS_ECDHE_ECDSA_WITH_CHACHA20_POLY1305", "ECDHE-ECDSA", "CHACHA20-POLY1305", "AEAD"},
};

std::vector<std::string> Names(const YAML::Node& node, const std::string& key) {
  if (!node.IsSequence()) Fail("tls_server_config: " + key + " must be a list");
  std::vector<std::string> names;
  for (const auto& item : node) names.push_back(Text(item, key));
  return names;
}

void Add(std::vector<std::string>& items, const std::string& item) {
  if (std::find(items.begin(), items.end(), item) == items.end()) items.push_back(item);
}

// GnuTLS chooses a suite by its parts, so the suites it offers are every
// combination of the parts named; the list is refused unless that is
// exactly the list (more would leave the endpoint more open than it says).
std::string CipherPriorities(const std::vector<std::string>& names) {
  std::vector<std::string> kx, ciphers, macs;
  std::set<std::string> listed;
  for (const std::string& name : names) {
    const Suite* suite = nullptr;
    for (const Suite& s : kSuites) {
      if (name == s.name) suite = &s;
    }
    if (!suite) {
      Fail("tls_server_config: cipher_suites: " + name +
           " cannot be offered (TLS 1.3 suites cannot be chosen; RC4 and 3DES are not offered)");
    }
    Add(kx, suite->kx);
    Add(ciphers, suite->cipher);
    Add(macs, suite->mac);
    listed.insert(std::string(suite->kx) + suite->cipher + suite->mac);
  }
  if (names.empty()) Fail("tls_server_config: cipher_suites is empty");
  for (const Suite& s : kSuites) {
    auto in = [](const std::vector<std::string>& v, const char* x) {
      return std::find(v.begin(), v.end(), x) != v.end();
    };
    if (in(kx, s.kx) && in(ciphers, s.cipher) && in(macs, s.mac) &&
        !listed.count(std::string(s.kx) + s.cipher + s.mac)) {
      Fail("tls_server_config: cipher_suites: GnuTLS cannot offer these without also offering " +
           std::string(s.name) + "; add it or drop a suite that shares its parts");
    }
  }
  std::string out = ":-KX-ALL:-CIPHER-ALL:-MAC-ALL";
  for (const auto* list : {&kx, &ciphers, &macs}) {
    for (const std::string& item : *list) out += ":+" + item;
  }
  return out;
}

std::string CurvePriorities(const std::vector<std::string>& names) {
  static const std::map<std::string, std::string> kGroups = {{"CurveP256", "GROUP-SECP256R1"},
                                                             {"CurveP384", "GROUP-SECP384R1"},
                                                             {"CurveP521", "GROUP-SECP521R1"},
                                                             {"X25519", "GROUP-X25519"}};
  if (names.empty()) Fail("tls_server_config: curve_preferences is empty");
  std::vector<std::string> groups;
  for (const std::string& name : names) {
    const auto it = kGroups.find(name);
    if (it == kGroups.end()) {
      Fail("tls_server_config: curve_preferences: " + name +
           " is not supported (CurveP256, CurveP384, CurveP521, X25519)");
    }
    Add(groups, it->second);
  }
  std::string out = ":-GROUP-ALL";
  for (const std::string& group : groups) out += ":+" + group;
  return out;
}

void ReadTls(const YAML::Node& tls, const std::string& folder, WebConfig& config) {
  if (!tls.IsMap()) Fail("tls_server_config must be a mapping");
  OnlyKeys(tls, "tls_server_config",
           {"cert_file", "key_file", "client_ca_file", "client_auth_type", "min_version",
            "max_version", "cipher_suites", "curve_preferences", "prefer_server_cipher_suites"});
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
  static const std::map<std::string, WebConfig::ClientAuth> kTypes = {
      {"NoClientCert", WebConfig::ClientAuth::None},
      {"RequestClientCert", WebConfig::ClientAuth::Request},
      {"RequireAnyClientCert", WebConfig::ClientAuth::RequireAny},
      {"VerifyClientCertIfGiven", WebConfig::ClientAuth::VerifyIfGiven},
      {"RequireAndVerifyClientCert", WebConfig::ClientAuth::RequireAndVerify}};
  const auto found = kTypes.find(type);
  if (found == kTypes.end()) {
    Fail("tls_server_config: client_auth_type " + type +
         " is not supported (NoClientCert, RequestClientCert, RequireAnyClientCert, "
         "VerifyClientCertIfGiven, RequireAndVerifyClientCert)");
  }
  config.clientAuth = found->second;
  // libmicrohttpd asks for a client certificate only with a list of the
  // CAs it trusts, which it names to the client.
  if (config.clientAuth != WebConfig::ClientAuth::None && config.clientCaFile.empty()) {
    Fail("tls_server_config: client_auth_type " + type + " needs client_ca_file");
  }

  const int least = tls["min_version"] ? Version(tls["min_version"], "min_version") : 2;
  const int most =
      tls["max_version"] ? Version(tls["max_version"], "max_version") : kVersionCount - 1;
  if (least > most) {
    Fail("tls_server_config: min_version " + std::string(kVersions[least][0]) +
         " is above max_version " + kVersions[most][0]);
  }
  std::string priorities = "NORMAL:-VERS-ALL";
  for (int i = least; i <= most; ++i) priorities += std::string(":+") + kVersions[i][1];
  if (tls["cipher_suites"]) {
    priorities += CipherPriorities(Names(tls["cipher_suites"], "cipher_suites"));
  }
  if (tls["curve_preferences"]) {
    priorities += CurvePriorities(Names(tls["curve_preferences"], "curve_preferences"));
  }
  bool serverOrder = true;
  if (tls["prefer_server_cipher_suites"]) {
    serverOrder =
        Bool(tls["prefer_server_cipher_suites"], "tls_server_config: prefer_server_cipher_suites");
  }
  if (serverOrder) priorities += ":%SERVER_PRECEDENCE";
  config.priorities = priorities;
}

// The headers the exporters let a web configuration set, with the values
// allowed (none listed: any).
const std::map<std::string, std::vector<std::string>>& SettableHeaders() {
  static const std::map<std::string, std::vector<std::string>> kHeaders = {
      {"Strict-Transport-Security", {}},
      {"X-Content-Type-Options", {"nosniff"}},
      {"X-Frame-Options", {"deny", "sameorigin"}},
      {"X-XSS-Protection", {}},
      {"Content-Security-Policy", {}}};
  return kHeaders;
}

void ReadHttp(const YAML::Node& http, WebConfig& config) {
  if (!http.IsMap()) Fail("http_server_config must be a mapping");
  OnlyKeys(http, "http_server_config", {"headers", "http2"});
  // The endpoint speaks HTTP/1.1 only; a client that offers HTTP/2 falls
  // back to it, so either value leaves it as open as it says.
  if (http["http2"]) Bool(http["http2"], "http_server_config: http2");
  const YAML::Node headers = http["headers"];
  if (!headers || headers.IsNull()) return;
  if (!headers.IsMap()) Fail("http_server_config: headers must be a mapping");
  for (const auto& entry : headers) {
    const std::string name = entry.first.as<std::string>();
    const std::string value = Text(entry.second, "http_server_config: headers: " + name);
    const auto& settable = SettableHeaders();
    auto it = settable.begin();
    while (it != settable.end() && strcasecmp(it->first.c_str(), name.c_str()) != 0) ++it;
    if (it == settable.end()) {
      Fail("http_server_config: headers: the header " + name +
           " cannot be set (Strict-Transport-Security, X-Content-Type-Options, X-Frame-Options, "
           "X-XSS-Protection, Content-Security-Policy)");
    }
    bool allowed = it->second.empty();
    for (const std::string& v : it->second) allowed |= strcasecmp(v.c_str(), value.c_str()) == 0;
    if (!allowed || value.empty() || value.find_first_of("\r\n") != std::string::npos) {
      Fail("http_server_config: headers: " + it->first + " cannot be \"" + value + "\"");
    }
    config.headers.emplace_back(it->first, value);
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
    OnlyKeys(root, "", {"tls_server_config", "http_server_config", "basic_auth_users"});
    if (root["tls_server_config"]) ReadTls(root["tls_server_config"], folder, config);
    if (root["http_server_config"]) ReadHttp(root["http_server_config"], config);
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
