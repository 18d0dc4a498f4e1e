// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/samba/SambaShareSources.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <utility>

#include "core/Text.h"
#include "os/AtomicFile.h"
#include "platform/samba/SmbdProcess.h"

namespace qm {

namespace {
namespace fs = std::filesystem;

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// testparm's first line that says what is wrong (not the one naming the
// file it loads).
std::string FirstErrorLine(const ProcessResult& run) {
  std::istringstream in(run.err + "\n" + run.out);
  for (std::string line; std::getline(in, line);) {
    line = Trimmed(line);
    if (!line.empty() && line.rfind("Load smb config files from", 0) != 0) return line;
  }
  return "testparm exit status " + std::to_string(run.exitCode);
}
}  // namespace

NetStatus SambaShareSources::Refresh(std::string& failure, std::vector<std::string>& notices) {
  if (NetStatus s = RefreshShareList(failure, notices)) return s;
  RefreshUsershares();
  RefreshCupsPrinters();
  return NERR_Success;
}

long SambaShareSources::SmbdPid() const {
  return SmbdProcess::MainPid(pidDirectory_, ConfPath());
}

NetStatus SambaShareSources::Unreadable(NetStatus status, std::string& failure) const {
  // Only a server that is really down ends every user; a reading that is
  // too slow or fails while smbd runs changes nothing.
  if (status != NERR_ServerNotStarted && status != kSambaToolFailed && status != kSambaBadOutput) {
    return status;
  }
  if (SmbdPid() == 0) {
    failure = "smbd is not running";
    return NERR_ServerNotStarted;
  }
  return kServerStateUnreadable;
}

NetStatus SambaShareSources::RefreshShareList(std::string& failure,
                                              std::vector<std::string>& notices) {
  const std::string path = options_.smbConf.empty() ? confPath_ : options_.smbConf;
  FileStamp stamp;
  struct stat st;
  const bool stamped = !path.empty() && ::stat(path.c_str(), &st) == 0;
  if (stamped) {
    stamp = FileStamp::Of(st);
    if (haveShares_ && stamp == confStamp_) return NERR_Success;
    // Refused as it is: asking again changes nothing until it is edited.
    if (confBroken_ && stamp == brokenStamp_) return NERR_Success;
  }
  std::vector<std::string> args = {"-s"};
  if (!options_.smbConf.empty()) args.push_back(options_.smbConf);
  ProcessResult run;
  if (NetStatus s = tools_.Run(options_.testparm, args, run, &failure)) {
    if (s == ERROR_ACCESS_DENIED) return s;
    if (run.outcome != ProcessResult::Outcome::Exited) return Unreadable(s, failure);
    // smb.conf has an error: the last good share list stays (with none yet,
    // the shares in use are learnt from their tree connects).
    if (!confBroken_) {
      notices.push_back("smb.conf has an error, the last good share list is kept: " +
                        FirstErrorLine(run));
    }
    confBroken_ = true;
    brokenStamp_ = stamp;
    haveShares_ = false;
    return NERR_Success;
  }
  if (confBroken_) {
    notices.push_back("smb.conf reads without error again");
    confBroken_ = false;
  }
  haveShares_ = false;
  shares_ = SambaShareList::Parse(run.out);
  if (options_.smbConf.empty()) {
    // testparm names the file it read: "Load smb config files from PATH".
    const std::string marker = "Load smb config files from ";
    if (const auto at = run.err.find(marker); at != std::string::npos) {
      confPath_ = SambaTools::FirstLine(run.err.substr(at + marker.size()));
    }
  }
  pidDirectory_ = shares_.Global("pid directory");
  if (pidDirectory_.empty()) {
    // Not set in smb.conf: Samba's built-in folder. Samba's parameter names
    // ignore blanks; the name without one keeps every argument a single
    // word, so a sudoers rule (which sees the arguments joined by blanks)
    // cannot be met by "pid" and "directory" apart, the latter then read as
    // an smb.conf of the caller's.
    args.insert(args.begin() + 1, "--parameter-name=piddirectory");
    ProcessResult query;
    if (tools_.Run(options_.testparm, args, query, nullptr) == NERR_Success) {
      pidDirectory_ = Trimmed(query.out);
    }
  }
  printers_.clear();
  printersFromCups_ = false;
  cupsAsked_ = false;
  if (shares_.Printers()) {
    // Samba built with CUPS (as Debian's is) prints through CUPS unless
    // told otherwise, and then takes its printers from CUPS.
    std::string printcap = shares_.Global("printcap name");
    const std::string printing = shares_.Global("printing");
    if (printcap.empty()) {
      printcap =
          printing.empty() || SameTextAsciiNoCase(printing, "cups") ? "cups" : "/etc/printcap";
    }
    if (printcap.front() == '/') {
      printers_ = ReadPrintcap(printcap);
    } else {
      printersFromCups_ = SameTextAsciiNoCase(printcap, "cups") &&
                          !SameTextAsciiNoCase(shares_.Global("load printers"), "no");
    }
  }
  usershareStamp_ = {};  // the folder may have moved
  haveShares_ = stamped;
  confStamp_ = stamp;
  return NERR_Success;
}

void SambaShareSources::RefreshUsershares() {
  std::string folder = shares_.Global("usershare path");
  if (folder.empty()) folder = "/var/lib/samba/usershares";
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    usershares_.clear();
    usershareStamp_ = {};
    return;
  }
  // A usershare is added, changed or removed by renaming a file into the
  // folder, which changes the folder's time.
  const FileStamp stamp = FileStamp::Of(st);
  if (stamp == usershareStamp_) return;
  usershares_ = ReadUsershares(folder);
  usershareStamp_ = stamp;
}

std::vector<SambaShare> SambaShareSources::ReadUsershares(const std::string& folder) {
  std::vector<SambaShare> shares;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name.front() == '.' || !it->is_regular_file(ec)) continue;
    std::string text, error;
    SambaShare share;
    // Samba itself reads no usershare file larger than 10 KiB.
    if (ReadWholeFile(it->path().string(), text, error, kUsershareMaxBytes) &&
        ParseUsershare(name, text, share)) {
      shares.push_back(std::move(share));
    }
  }
  std::sort(shares.begin(), shares.end(),
            [](const SambaShare& a, const SambaShare& b) { return a.name < b.name; });
  return shares;
}

bool SambaShareSources::ParseUsershare(const std::string& fileName, std::string_view text,
                                       SambaShare& share) {
  if (text.substr(0, 8) != "#VERSION") return false;
  share = SambaShare{fileName, "", false};
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("path=", 0) == 0) share.path = line.substr(5);
    if (line.rfind("sharename=", 0) == 0 && line.size() > 10) share.name = line.substr(10);
  }
  return !share.path.empty() && !share.name.empty();
}

void SambaShareSources::RefreshCupsPrinters() {
  if (!printersFromCups_) return;
  const auto now = std::chrono::steady_clock::now();
  if (cupsAsked_ && now - cupsAskedAt_ < options_.cupsReuse) return;
  cupsAsked_ = true;
  cupsAskedAt_ = now;
  const ProcessResult result = tools_.RunPlain(
      {options_.lpstat, "-e"}, std::min(options_.toolTimeout, std::chrono::milliseconds(2000)),
      std::size_t{1} << 20);
  // No CUPS (the tool missing, or its server not running) is no printer.
  if (result.outcome == ProcessResult::Outcome::NotStarted) {
    printers_.clear();
  } else if (result.Succeeded()) {
    printers_ = ParseCupsQueues(result.out);
  }
}

std::vector<std::string> SambaShareSources::ParseCupsQueues(std::string_view text) {
  std::vector<std::string> names;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
      line.remove_suffix(1);
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty() || line.find('/') != std::string_view::npos) continue;
    names.emplace_back(line);
  }
  return names;
}

std::vector<std::string> SambaShareSources::ReadPrintcap(const std::string& path) {
  std::string text, error;
  if (!ReadWholeFile(path, text, error)) return {};
  return ParsePrintcap(text);
}

std::vector<std::string> SambaShareSources::ParsePrintcap(std::string_view text) {
  std::vector<std::string> names;
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);) {
    line = Trimmed(line);
    if (line.empty() || line.front() == '#' || line.front() == ':') continue;
    std::istringstream fields(line.substr(0, line.find(':')));
    for (std::string name; std::getline(fields, name, '|');) {
      if (!Trimmed(name).empty()) names.push_back(Trimmed(name));
    }
  }
  return names;
}

}  // namespace qm
