#pragma once

#include <set>
#include <string>

#include "core/ServerBackend.h"
#include "platform/samba/SambaOptions.h"
#include "platform/samba/SambaReader.h"
#include "platform/samba/SambaTools.h"

namespace qm {

// Ends a client's sessions: every client smbd process a reading shows
// serving it is told to shut down (through the end-session helper when
// elevated, else smbcontrol), never the main smbd nor this program.
class SambaSessionEnder {
 public:
  SambaSessionEnder(const SambaOptions& options, const SambaTools& tools)
      : options_(options), tools_(tools) {}

  // stale: the reading began before an earlier deletion, so processes it
  // shows may have ended since (those are passed over). 0 once every
  // process was told and has gone (or the wait for them ran out);
  // NERR_ClientNameNotFound when the reading shows none to end.
  NetStatus End(const std::string& client, const SambaReading& reading, bool stale) const;

  // The smbd processes of client's sessions and tree connects.
  static std::set<long> ProcessesOf(const SmbStatus& status, const std::string& client);

 private:
  const SambaOptions& options_;
  const SambaTools& tools_;
};

}  // namespace qm
