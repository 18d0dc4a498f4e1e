// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/WebAccess.h"

#include <crypt.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <microhttpd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "observe/HttpReply.h"

namespace qm {

namespace {
constexpr const char* kRealm = "quillmoor98";
constexpr std::size_t kMatchedPairsKept = 64;
constexpr std::size_t kTriesKept = 4096;

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return diff == 0;
}

std::string Crypt(const std::string& password, const std::string& setting) {
  auto data = std::make_unique<crypt_data>();
  const char* out = ::crypt_rn(password.c_str(), setting.c_str(), data.get(), sizeof(crypt_data));
  return out && *out != '*' ? std::string(out) : std::string();
}

bool Bcrypt(const std::string& password, const std::string& hash) {
  const std::string out = Crypt(password, hash);
  return !out.empty() && SameText(out, hash);
}

// The cost of a bcrypt hash ("$2b$10$..."), or -1.
int BcryptCost(const std::string& hash) {
  if (hash.size() < 7 || hash[3] != '$' || hash[6] != '$') return -1;
  if (hash[4] < '0' || hash[4] > '9' || hash[5] < '0' || hash[5] > '9') return -1;
  return (hash[4] - '0') * 10 + (hash[5] - '0');
}
}  // namespace

WebAccess::WebAccess() {
  options_.push_back({MHD_OPTION_END, 0, nullptr});
}

WebAccess::~WebAccess() {
  StopChecks();
}

bool WebAccess::Load(const WebConfig& config, const FileReader& read, std::string& error) {
  int cost = kLeastCost;
  for (const auto& [user, hash] : config.users) {
    const int c = BcryptCost(hash);
    if (c < kLeastCost) {
      error = "the bcrypt hash of user \"" + user + "\" has cost " + std::to_string(c) +
              "; a cost of at least " + std::to_string(kLeastCost) +
              " is needed (make one with: htpasswd -nbBC " + std::to_string(kLeastCost) + " " +
              user + " PASSWORD)";
      return false;
    }
    cost = std::max(cost, c);
  }
  noUserHash_.clear();
  if (!config.users.empty()) {
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!::crypt_gensalt_rn("$2b$", static_cast<unsigned long>(cost), nullptr, 0, setting,
                            sizeof setting) ||
        (noUserHash_ = Crypt("\x01no such user\x01", setting)).empty()) {
      error = "the system's crypt(3) cannot make a bcrypt hash of cost " + std::to_string(cost);
      return false;
    }
  }
  config_ = config;
  options_.clear();
  headers_.clear();
  for (const auto& [name, value] : config_.headers)
    headers_.emplace_back(name.c_str(), value.c_str());
  if (config.Tls()) {
    if (!read(config.certFile, cert_, error) || !read(config.keyFile, key_, error)) return false;
    options_.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, cert_.data()});
    options_.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, key_.data()});
    // GnuTLS names what it cannot do (a version or group this build lacks)
    // now, not at the first handshake.
    gnutls_priority_t priority = nullptr;
    const char* at = nullptr;
    const int rc = gnutls_priority_init(&priority, config_.priorities.c_str(), &at);
    if (rc != GNUTLS_E_SUCCESS) {
      error = "tls_server_config: GnuTLS cannot use the priorities \"" + config_.priorities + "\"" +
              (at ? std::string(" at \"") + at + "\"" : std::string()) + ": " + gnutls_strerror(rc);
      return false;
    }
    gnutls_priority_deinit(priority);
    options_.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, config_.priorities.data()});
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

WebAccess::Verdict WebAccess::Check(MHD_Connection* connection, const std::string& client,
                                    Done done) {
  if (config_.Tls() && config_.clientAuth != WebConfig::ClientAuth::None) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_GNUTLS_SESSION);
    auto session = info ? static_cast<gnutls_session_t>(info->tls_session) : nullptr;
    if (!session) return Verdict::kRefused;
    unsigned int listSize = 0;
    const bool shown = gnutls_certificate_get_peers(session, &listSize) && listSize > 0;
    using Auth = WebConfig::ClientAuth;
    const bool verify =
        config_.clientAuth == Auth::VerifyIfGiven || config_.clientAuth == Auth::RequireAndVerify;
    if (shown && verify) {
      unsigned int status = 0;
      if (gnutls_certificate_verify_peers2(session, &status) != GNUTLS_E_SUCCESS || status != 0) {
        return Verdict::kRefused;
      }
    } else if (!shown && (config_.clientAuth == Auth::RequireAny ||
                          config_.clientAuth == Auth::RequireAndVerify)) {
      return Verdict::kRefused;
    }
  }
  if (config_.users.empty()) return Verdict::kAdmitted;
  char* password = nullptr;
  char* user = MHD_basic_auth_get_username_password(connection, &password);
  Job job{user ? user : "", password ? password : "", std::move(done)};
  if (user) MHD_free(user);
  if (password) MHD_free(password);
  if (!user) return Verdict::kUnauthorized;
  std::lock_guard lock(mutex_);
  if (config_.users.count(job.user) && matched_.count(job.user + '\n' + job.password)) {
    return Verdict::kAdmitted;
  }
  if (!TakeTry(client)) return Verdict::kTooManyTries;
  if (stopping_ || jobs_.size() >= kChecksQueued) return Verdict::kBusy;
  jobs_.push_back(std::move(job));
  if (!hasher_.joinable()) hasher_ = std::thread([this] { Hash(); });
  wake_.notify_one();
  return Verdict::kChecking;
}

bool WebAccess::TakeTry(const std::string& client) {
  const auto now = Clock::now();
  if (tries_.size() >= kTriesKept) {
    // Forget the addresses whose tries have all come back.
    std::erase_if(tries_, [&](const auto& entry) {
      const std::chrono::duration<double> since = now - entry.second.at;
      return entry.second.left + since.count() * kTriesPerSecond >= kTriesBurst;
    });
  }
  auto [it, fresh] = tries_.try_emplace(client, Tries{kTriesBurst, now});
  Tries& t = it->second;
  const std::chrono::duration<double> since = now - t.at;
  t.left = std::min(kTriesBurst, t.left + since.count() * kTriesPerSecond);
  t.at = now;
  if (t.left < 1) return false;
  t.left -= 1;
  return true;
}

void WebAccess::Hash() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    const bool matches = PasswordMatches(job.user, job.password);
    job.done(matches ? Verdict::kAdmitted : Verdict::kUnauthorized);
    lock.lock();
  }
}

void WebAccess::StopChecks() {
  std::deque<Job> left;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    left.swap(jobs_);
  }
  wake_.notify_all();
  for (Job& job : left) job.done(Verdict::kBusy);
  if (hasher_.joinable()) hasher_.join();
  std::lock_guard lock(mutex_);
  stopping_ = false;
}

bool WebAccess::PasswordMatches(const std::string& user, const std::string& password) {
  const auto it = config_.users.find(user);
  const bool known = it != config_.users.end();
  const bool matches = Bcrypt(password, known ? it->second : noUserHash_) && known;
  if (matches) {
    std::lock_guard lock(mutex_);
    if (matched_.size() >= kMatchedPairsKept) matched_.clear();
    matched_.insert(user + '\n' + password);
  }
  return matches;
}

HttpReply::Headers WebAccess::Headers(HttpReply::Headers more) const {
  more.insert(more.end(), headers_.begin(), headers_.end());
  return more;
}

bool WebAccess::Reply(MHD_Connection* connection, Verdict verdict) const {
  constexpr const char* kText = "text/plain; charset=utf-8";
  if (verdict == Verdict::kTooManyTries) {
    return HttpReply::Queue(connection, MHD_HTTP_TOO_MANY_REQUESTS, "Too many tries\n", kText,
                            Headers({{MHD_HTTP_HEADER_RETRY_AFTER, "1"}}));
  }
  if (verdict == Verdict::kBusy) {
    return HttpReply::Queue(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "Busy\n", kText,
                            Headers({{MHD_HTTP_HEADER_RETRY_AFTER, "1"}}));
  }
  if (verdict != Verdict::kUnauthorized) return false;  // refused: the connection is closed
  static const char kBody[] = "Unauthorized\n";
  MHD_Response* response = MHD_create_response_from_buffer(
      sizeof kBody - 1, const_cast<char*>(kBody), MHD_RESPMEM_PERSISTENT);
  if (!response) return false;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, kText);
  for (const auto& [name, value] : headers_) MHD_add_response_header(response, name, value);
  const MHD_Result queued = MHD_queue_basic_auth_fail_response(connection, kRealm, response);
  MHD_destroy_response(response);
  return queued == MHD_YES;
}

}  // namespace qm
