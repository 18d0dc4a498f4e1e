// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "core/ServerBackend.h"
#include "platform/samba/SambaOptions.h"
#include "platform/samba/SambaTools.h"
#include "platform/samba/SmbStatusParser.h"

namespace qm {

// Reads Samba's sessions, tree connects and open files with smbstatus, the
// way that works and is cheapest now. The full `--json` listing is one run,
// but it aborts while any open holds WRITE_OWNER access (a client asking
// for MAXIMUM_ALLOWED is enough) and grows quadratically with open files.
// After it failed or grew slow, the parts are read instead: `--json -p`
// (sessions), `--json -S` (tree connects) and `-L` (open files, as text),
// three runs that cost more below some hundreds of clients but neither
// abort nor grow quadratically. The full listing is tried again after a
// while: at once after an abort, only once the state has shrunk to half
// its size when it was too slow.
class SambaStatusListing {
 public:
  // A full listing that takes longer than options.slowListing gives way
  // to the parts.
  // How long the parts serve before the full listing is tried again.
  static constexpr std::chrono::seconds kRetry{60};

  SambaStatusListing(const SambaOptions& options, const SambaTools& tools)
      : options_(options), tools_(tools) {}

  // One reading into status: 0, or a tool's status with failure saying why
  // (kSambaBadOutput also when smbstatus cannot load Samba's configuration,
  // since it then answers from a lock folder of its own). sharePaths tell a
  // share's path from a file's name in the list of open files; notices get
  // what the user is to be told (a change of the way of reading, once).
  NetStatus Read(const std::vector<std::string>& sharePaths, SmbStatus& status,
                 std::string& failure, std::vector<std::string>& notices);
  // The parts are read (the full listing failed or was slow).
  bool ReadingParts() const { return !partsReason_.empty(); }
  // The peak resident memory of the last reading's runs, in KiB (of the
  // parts together: they run at once).
  long MaxResidentKb() const { return maxResidentKb_; }

 private:
  using Clock = std::chrono::steady_clock;
  // Runs smbstatus with args: 0 with its output, or its status.
  NetStatus Run(std::vector<std::string> args, ProcessResult& run, std::string& failure);
  NetStatus ReadParts(const std::vector<std::string>& sharePaths, SmbStatus& status,
                      std::string& failure);

  const SambaOptions& options_;
  const SambaTools& tools_;
  std::string partsReason_;  // why the parts are read ("": the full listing is)
  bool partsSaid_ = false;   // the user was told
  Clock::time_point retryAt_;
  std::size_t lastSize_ = 0;    // sessions, tree connects and opens of the last reading
  std::size_t retryBelow_ = 0;  // the size under which the full listing is tried again
  long maxResidentKb_ = 0;
};

}  // namespace qm
