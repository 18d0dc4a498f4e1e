// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// How the program reaches the Samba server of this computer.
struct SambaOptions {
  std::string smbConf;               // --configfile for every tool; empty: Samba's default
  std::vector<std::string> elevate;  // prefix for the tools (e.g. sudo -n); empty: none
  std::string smbstatus = "smbstatus";
  std::string testparm = "testparm";
  std::string smbcontrol = "smbcontrol";
  // CTDB's tool, asked for this node's number when smb.conf says
  // `clustering = yes`.
  std::string ctdb = "ctdb";
  // CUPS' lister of print queues (run without elevation), asked when
  // Samba takes its printers from CUPS, at most once a minute.
  std::string lpstat = "lpstat";
  std::chrono::milliseconds cupsReuse{60000};
  // With elevation: the helper that checks a process is a client smbd and
  // only then ends it (the sudoers drop-in allows it, not smbcontrol);
  // empty: smbcontrol itself.
  std::string endSession;
  std::chrono::milliseconds toolTimeout{5000};
  // Address space each tool may take (a resource limit on it), so that no
  // reading can take the host down; 0: unbounded.
  std::uint64_t toolMemory = std::uint64_t{1} << 30;
  // A full smbstatus listing that takes more processor time than this
  // gives way to its parts (see SambaStatusListing): below it, one run
  // costs less than three.
  std::chrono::milliseconds slowListing{500};
  // Without read-ahead, a session enumeration reuses a reading at most
  // this old.
  std::chrono::milliseconds sessionReuse{1000};
  // Readings and deletions on a worker, asked for by the ticks (see
  // SambaReadingSchedule): the program's ticks never wait for a tool.
  bool readAhead = false;
};

}  // namespace qm
