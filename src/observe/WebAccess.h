// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "observe/HttpReply.h"
#include "observe/WebConfig.h"

struct MHD_Connection;
struct MHD_OptionItem;

namespace qm {

// Who may scrape the metrics endpoint: TLS through libmicrohttpd's GnuTLS
// (with client certificates checked against a CA when the configuration
// asks) and HTTP basic authentication against bcrypt hashes, checked by the
// system's crypt(3) on a thread of its own, so that a flood of guesses
// never holds the thread that serves the scrapes.
class WebAccess {
 public:
  // Reads a file named by the configuration (the server's certificate and
  // key, the clients' CA); false with error set when it cannot.
  using FileReader =
      std::function<bool(const std::string& path, std::string& text, std::string& error)>;

  // A bcrypt cost below this is refused: such a hash falls to a guesser
  // in hours.
  static constexpr int kLeastCost = 10;
  // Password checks that need a hash, per client address: a burst, then
  // one a second.
  static constexpr double kTriesBurst = 5;
  static constexpr double kTriesPerSecond = 1;
  // Checks waiting for the hashing thread; more are answered 503.
  static constexpr std::size_t kChecksQueued = 8;

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
    kChecking,      // the password is being hashed: done is called with the verdict
    kTooManyTries,  // this address guessed too often: 429
    kBusy,          // too many checks wait already: 503
  };
  using Done = std::function<void(Verdict)>;
  // client: the asker's address, for the rate of tries. done is called on
  // the hashing thread, only when the verdict is kChecking.
  Verdict Check(MHD_Connection* connection, const std::string& client, Done done);
  // Answers a request that was not admitted; true when queued.
  bool Reply(MHD_Connection* connection, Verdict verdict) const;
  // more, then the headers the configuration adds to every answer (valid
  // while this object lives).
  HttpReply::Headers Headers(HttpReply::Headers more = {}) const;
  // Ends the hashing thread: checks still waiting are done with kBusy.
  void StopChecks();

  // The password check itself, on the caller's thread: the user's bcrypt
  // hash against password; an unknown user costs as long.
  bool PasswordMatches(const std::string& user, const std::string& password);

 private:
  using Clock = std::chrono::steady_clock;
  struct Job {
    std::string user, password;
    Done done;
  };
  bool TakeTry(const std::string& client);
  void Hash();

  WebConfig config_;
  std::string cert_, key_, trust_;
  std::vector<MHD_OptionItem> options_;
  HttpReply::Headers headers_;
  // Hashed for a user name that is not in the file, at the users' cost.
  std::string noUserHash_;
  // bcrypt is slow on purpose; a scraper sends the same password every
  // time, so a pair that matched once is not hashed again.
  std::mutex mutex_;
  std::set<std::string> matched_;
  struct Tries {
    double left = kTriesBurst;
    Clock::time_point at;
  };
  std::map<std::string, Tries> tries_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  std::condition_variable wake_;
  std::thread hasher_;
};

}  // namespace qm
