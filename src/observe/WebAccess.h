// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "observe/WebConfig.h"

struct MHD_Connection;
struct MHD_OptionItem;

namespace qm {

// Who may scrape the metrics endpoint: TLS through libmicrohttpd's GnuTLS
// (with client certificates checked against a CA when the configuration
// asks) and HTTP basic authentication against bcrypt hashes, checked by the
// system's crypt(3).
class WebAccess {
 public:
  // Reads a file named by the configuration (the server's certificate and
  // key, the clients' CA); false with error set when it cannot.
  using FileReader =
      std::function<bool(const std::string& path, std::string& text, std::string& error)>;

  WebAccess();
  ~WebAccess();
  WebAccess(const WebAccess&) = delete;
  WebAccess& operator=(const WebAccess&) = delete;

  // Takes config, reading its files with read; false with error set.
  bool Load(const WebConfig& config, const FileReader& read, std::string& error);

  // What the daemon needs: its flags, and its options (ending with
  // MHD_OPTION_END), valid while this object lives.
  unsigned DaemonFlags() const;
  const MHD_OptionItem* DaemonOptions() const;

  enum class Verdict {
    kAdmitted,
    kUnauthorized,  // no or a wrong password: 401, so the client may ask again
    kRefused,       // a client certificate that is missing or not trusted: dropped
  };
  Verdict Check(MHD_Connection* connection);
  // Answers a request that was not admitted; true when queued.
  static bool Reply(MHD_Connection* connection, Verdict verdict);

  // The password check itself: the user's bcrypt hash against password.
  bool PasswordMatches(const std::string& user, const std::string& password);

 private:
  WebConfig config_;
  std::string cert_, key_, trust_;
  std::vector<MHD_OptionItem> options_;
  // bcrypt is slow on purpose; a scraper sends the same password every
  // time, so a pair that matched once is not hashed again.
  std::mutex mutex_;
  std::set<std::string> matched_;
};

}  // namespace qm
