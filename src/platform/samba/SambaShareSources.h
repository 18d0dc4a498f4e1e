// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "core/ServerBackend.h"
#include "os/FileStamp.h"
#include "platform/samba/SambaOptions.h"
#include "platform/samba/SambaShareList.h"
#include "platform/samba/SambaTools.h"

namespace qm {

// Where Samba's shares come from: the parsed smb.conf (`testparm -s`), read
// again only when smb.conf changes; the usershares folder, read again when
// it changes; the printers Samba makes of [printers], from a printcap file
// or from CUPS. Also where the main smbd's pid file lies. Used by one
// reading at a time.
class SambaShareSources {
 public:
  // What tells a file's version apart: it is read again when this changes.
  SambaShareSources(const SambaOptions& options, const SambaTools& tools)
      : options_(options), tools_(tools) {}

  // Brings every source up to date: 0, or the status that fails the
  // reading with failure saying why. notices gets what the user is to be
  // told (smb.conf has an error, and reads without one again).
  NetStatus Refresh(std::string& failure, std::vector<std::string>& notices);

  const SambaShareList& Shares() const { return shares_; }
  const std::vector<SambaShare>& Usershares() const { return usershares_; }
  const std::vector<std::string>& Printers() const { return printers_; }
  // The smb.conf in use (learnt from testparm when not given) and the
  // folder of smbd's pid file ("" while unknown).
  std::string ConfPath() const { return options_.smbConf.empty() ? confPath_ : options_.smbConf; }
  const std::string& PidDirectory() const { return pidDirectory_; }

  // The main smbd process: its id, 0 when it is not running, -1 when that
  // cannot be told (its pid file is not readable).
  long SmbdPid() const;
  // A tool that timed out, failed or answered nonsense: the server is not
  // started when smbd is not running, else its state is unreadable this
  // time (which changes nothing). Other statuses pass unchanged.
  NetStatus Unreadable(NetStatus status, std::string& failure) const;

  // The usershares defined in a folder of usershare files (as `net
  // usershare add` writes them); unreadable files are passed over.
  static std::vector<SambaShare> ReadUsershares(const std::string& folder);
  // Samba's own bound on a usershare file (MAX_USERSHARE_FILE_SIZE).
  static constexpr std::size_t kUsershareMaxBytes = 10 * 1024;
  // One usershare file's share (its name the file's unless it says
  // "sharename="); false when it is no usershare file or names no path.
  static bool ParseUsershare(const std::string& fileName, std::string_view text, SambaShare& share);
  // The printer names of a printcap file ("name|alias:..." lines).
  static std::vector<std::string> ReadPrintcap(const std::string& path);
  static std::vector<std::string> ParsePrintcap(std::string_view text);
  // The print queues `lpstat -e` lists (one a line; instances, which name
  // a queue with a slash, are passed over).
  static std::vector<std::string> ParseCupsQueues(std::string_view text);

 private:
  NetStatus RefreshShareList(std::string& failure, std::vector<std::string>& notices);
  void RefreshUsershares();
  // With `printcap name = cups`: CUPS' queues, asked again when the last
  // answer is older than cupsReuse; a failed question keeps the last answer.
  void RefreshCupsPrinters();

  const SambaOptions& options_;
  const SambaTools& tools_;
  bool printersFromCups_ = false;
  bool cupsAsked_ = false;
  std::chrono::steady_clock::time_point cupsAskedAt_;
  std::string confPath_;
  bool haveShares_ = false;
  FileStamp confStamp_;
  FileStamp brokenStamp_;  // the smb.conf testparm last refused
  bool confBroken_ = false;
  SambaShareList shares_;
  std::string pidDirectory_;
  FileStamp usershareStamp_;
  std::vector<SambaShare> usershares_;
  std::vector<std::string> printers_;
};

}  // namespace qm
