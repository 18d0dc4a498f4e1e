// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/WebAccess.h"

#include <crypt.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <microhttpd.h>

#include <cstdlib>
#include <memory>

namespace qm {

namespace {
constexpr const char* kRealm = "quillmoor98";
constexpr std::size_t kMatchedPairsKept = 64;
// A hash for a user name that is not in the file, so that a wrong name
// costs as long as a wrong password and tells nothing.
constexpr const char* kNoUserHash = "$2b$10$gESjTHYuo9L6UwNbHG1z3.hJL36NL3S8LHWKzUCPAxrJulfjPVPAu";

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return diff == 0;
}

bool Bcrypt(const std::string& password, const std::string& hash) {
  auto data = std::make_unique<crypt_data>();
  const char* out = ::crypt_rn(password.c_str(), hash.c_str(), data.get(), sizeof(crypt_data));
  return out && SameText(out, hash);
}
}  // namespace

WebAccess::WebAccess() {
  options_.push_back({MHD_OPTION_END, 0, nullptr});
}

WebAccess::~WebAccess() = default;

bool WebAccess::Load(const WebConfig& config, const FileReader& read, std::string& error) {
  config_ = config;
  options_.clear();
  if (config.Tls()) {
    if (!read(config.certFile, cert_, error) || !read(config.keyFile, key_, error)) return false;
    options_.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, cert_.data()});
    options_.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, key_.data()});
    if (!config.clientCaFile.empty()) {
      if (!read(config.clientCaFile, trust_, error)) return false;
      // With a trust list libmicrohttpd asks every client for a certificate.
      options_.push_back({MHD_OPTION_HTTPS_MEM_TRUST, 0, trust_.data()});
    }
  }
  options_.push_back({MHD_OPTION_END, 0, nullptr});
  return true;
}

unsigned WebAccess::DaemonFlags() const {
  return config_.Tls() ? MHD_USE_TLS : 0;
}

const MHD_OptionItem* WebAccess::DaemonOptions() const {
  return options_.data();
}

WebAccess::Verdict WebAccess::Check(MHD_Connection* connection) {
  if (config_.Tls() && config_.clientAuth != WebConfig::ClientAuth::None) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_GNUTLS_SESSION);
    auto session = info ? static_cast<gnutls_session_t>(info->tls_session) : nullptr;
    if (!session) return Verdict::kRefused;
    unsigned int listSize = 0;
    const bool shown = gnutls_certificate_get_peers(session, &listSize) && listSize > 0;
    if (shown) {
      unsigned int status = 0;
      if (gnutls_certificate_verify_peers2(session, &status) != GNUTLS_E_SUCCESS || status != 0) {
        return Verdict::kRefused;
      }
    } else if (config_.clientAuth == WebConfig::ClientAuth::RequireAndVerify) {
      return Verdict::kRefused;
    }
  }
  if (config_.users.empty()) return Verdict::kAdmitted;
  char* password = nullptr;
  char* user = MHD_basic_auth_get_username_password(connection, &password);
  const std::string name = user ? user : "";
  const std::string phrase = password ? password : "";
  if (user) MHD_free(user);
  if (password) MHD_free(password);
  if (!user) return Verdict::kUnauthorized;
  return PasswordMatches(name, phrase) ? Verdict::kAdmitted : Verdict::kUnauthorized;
}

bool WebAccess::PasswordMatches(const std::string& user, const std::string& password) {
  const auto it = config_.users.find(user);
  const std::string pair = user + '\n' + password;
  {
    std::lock_guard lock(mutex_);
    if (it != config_.users.end() && matched_.count(pair)) return true;
  }
  const bool matches = Bcrypt(password, it != config_.users.end() ? it->second : kNoUserHash) &&
                       it != config_.users.end();
  if (matches) {
    std::lock_guard lock(mutex_);
    if (matched_.size() >= kMatchedPairsKept) matched_.clear();
    matched_.insert(pair);
  }
  return matches;
}

bool WebAccess::Reply(MHD_Connection* connection, Verdict verdict) {
  if (verdict != Verdict::kUnauthorized) return false;  // refused: the connection is closed
  static const char kBody[] = "Unauthorized\n";
  MHD_Response* response = MHD_create_response_from_buffer(
      sizeof kBody - 1, const_cast<char*>(kBody), MHD_RESPMEM_PERSISTENT);
  if (!response) return false;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; charset=utf-8");
  const MHD_Result queued = MHD_queue_basic_auth_fail_response(connection, kRealm, response);
  MHD_destroy_response(response);
  return queued == MHD_YES;
}

}  // namespace qm
