#pragma once

#include <chrono>
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
  // CUPS' lister of print queues (run without elevation), asked when
  // Samba takes its printers from CUPS, at most once a minute.
  std::string lpstat = "lpstat";
  std::chrono::milliseconds cupsReuse{60000};
  // With elevation: the helper that checks a process is a client smbd and
  // only then ends it (the sudoers drop-in allows it, not smbcontrol);
  // empty: smbcontrol itself.
  std::string endSession;
  std::chrono::milliseconds toolTimeout{5000};
  // A session enumeration reuses a reading at most this old; with
  // read-ahead, one at most readAheadReuse old.
  std::chrono::milliseconds sessionReuse{1000};
  std::chrono::milliseconds readAheadReuse{10000};
  bool readAhead = false;
};

}  // namespace qm
