// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/samba/SambaStatusListing.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <thread>
#include <utility>

namespace qm {

namespace {
// With a smb.conf it cannot load, smbstatus says so, exits 0 and answers
// from its built-in lock folder: an empty answer that vouches for nothing.
std::string ConfigurationError(const ProcessResult& run) {
  for (const std::string* text : {&run.err, &run.out}) {
    const std::size_t at = text->find("Can't load ");
    if (at != std::string::npos && text->find("run testparm", at) != std::string::npos) {
      return "smbstatus cannot load Samba's configuration: " +
             SambaTools::FirstLine(text->substr(at));
    }
  }
  return {};
}

std::size_t SizeOf(const SmbStatus& s) {
  return s.sessions.size() + s.treeConnects.size() + s.opens.size();
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}
}  // namespace

NetStatus SambaStatusListing::Run(std::vector<std::string> args, ProcessResult& run,
                                  std::string& failure) {
  if (!options_.smbConf.empty()) args.push_back("--configfile=" + options_.smbConf);
  const NetStatus s = tools_.Run(options_.smbstatus, std::move(args), run, &failure);

  if (s) return s;
  if (std::string why = ConfigurationError(run); !why.empty()) {
    failure = std::move(why);
    return kSambaBadOutput;
  }
  if (run.outputCut) {
    failure = "smbstatus's answer was cut off at " + std::to_string(run.out.size()) + " bytes";
    return kSambaBadOutput;
  }
  return NERR_Success;
}

NetStatus SambaStatusListing::Read(const std::vector<std::string>& sharePaths, SmbStatus& status,
                                   std::string& failure, std::vector<std::string>& notices) {
  maxResidentKb_ = 0;
  const bool tryFull =
      partsReason_.empty() || (Clock::now() >= retryAt_ && lastSize_ < retryBelow_);
  std::string why;
  bool slow = false;
  if (tryFull) {
    ProcessResult run;
    NetStatus s = Run({"--json"}, run, failure);
    maxResidentKb_ = run.maxResidentKb;
    // Its processor time, which a loaded host does not stretch as it
    // stretches the wall clock's.
    const double seconds = run.cpuSeconds;
    slow = seconds > std::chrono::duration<double>(options_.slowListing).count();
    if (!s && !SmbStatusParser::Parse(run.out, status, why)) s = kSambaBadOutput;
    if (!s && !slow) {
      if (partsSaid_) notices.push_back("smbstatus's full listing is read again");
      partsReason_.clear();
      partsSaid_ = false;
      lastSize_ = SizeOf(status);
      return NERR_Success;
    }
    // No other way of reading helps a tool that cannot run, is refused or
    // was stopped, or a configuration smbstatus cannot load.
    const bool listingFailed = run.outcome == ProcessResult::Outcome::Signaled ||
                               run.outcome == ProcessResult::Outcome::TimedOut ||
                               (run.outcome == ProcessResult::Outcome::Exited &&
                                s != ERROR_ACCESS_DENIED && ConfigurationError(run).empty());
    if (s && !listingFailed) return s;
    if (!s) {
      why = "took " + Seconds(seconds) + " of processor time for " +
            std::to_string(status.opens.size()) + " open files";
    } else if (why.empty()) {
      why = "failed (" + failure + ")";
    } else {
      why = "could not be read (" + why + ")";
    }
    partsReason_ = why;
    retryAt_ = Clock::now() + kRetry;
    retryBelow_ = std::numeric_limits<std::size_t>::max();
    if (!s) {
      // A slow answer is as good as a fast one; the next reading reads apart.
      lastSize_ = SizeOf(status);
      retryBelow_ = lastSize_ / 2;
      return NERR_Success;
    }
  }
  failure.clear();
  if (NetStatus s = ReadParts(sharePaths, status, failure)) return s;
  // Said once the parts serve (when they fail too, the reading fails).
  if (!partsSaid_) {
    notices.push_back("smbstatus's full listing " + partsReason_ +
                      "; sessions, tree connects and open files are read apart until it "
                      "works again");
    partsSaid_ = true;
  }
  lastSize_ = SizeOf(status);
  if (slow) retryBelow_ = lastSize_ / 2;
  return NERR_Success;
}

NetStatus SambaStatusListing::ReadParts(const std::vector<std::string>& sharePaths,
                                        SmbStatus& status, std::string& failure) {
  // The three at once: each run spends most of its time starting up. A
  // tree connect or open read without its session waits for the next
  // reading (SambaTables); a session read without them has none yet.
  ProcessResult locks, tcons, sessions;
  std::string locksWhy, tconsWhy;
  NetStatus locksStatus = NERR_Success, tconsStatus = NERR_Success;
  std::thread locksRun([&] { locksStatus = Run({"-L"}, locks, locksWhy); });
  std::thread tconsRun([&] { tconsStatus = Run({"--json", "-S"}, tcons, tconsWhy); });
  const NetStatus sessionsStatus = Run({"--json", "-p"}, sessions, failure);
  locksRun.join();
  tconsRun.join();
  maxResidentKb_ =
      std::max(maxResidentKb_, locks.maxResidentKb + tcons.maxResidentKb + sessions.maxResidentKb);
  if (sessionsStatus) return sessionsStatus;
  if (tconsStatus) {
    failure = tconsWhy;
    return tconsStatus;
  }
  if (locksStatus) {
    failure = locksWhy;
    return locksStatus;
  }
  SmbStatus part;
  std::string why;
  if (!SmbStatusParser::Parse(tcons.out, part, why) ||
      !SmbStatusParser::Parse(sessions.out, status, why)) {
    failure = why;
    return kSambaBadOutput;
  }
  status.treeConnects = std::move(part.treeConnects);
  status.opens = SmbStatusParser::ParseLocks(locks.out, sharePaths);
  return NERR_Success;
}

}  // namespace qm
