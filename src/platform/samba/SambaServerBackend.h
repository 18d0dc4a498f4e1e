#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "platform/TableServerBackend.h"

namespace qm {

// The real Samba server of this computer, NT family. One `smbstatus --json`
// run serves every enumeration of a tick; the shares come from the parsed
// smb.conf (`testparm -s`), read again only when smb.conf changes. Tools run
// without a shell, with argument vectors and a time limit.
class SambaServerBackend final : public TableServerBackend {
 public:
  struct Options {
    std::string smbConf;                // --configfile for every tool; empty: Samba's default
    std::vector<std::string> elevate;   // prefix for the tools (e.g. sudo -n); empty: none
    std::string smbstatus = "smbstatus";
    std::string testparm = "testparm";
    std::string smbcontrol = "smbcontrol";
    std::chrono::milliseconds toolTimeout{5000};
  };

  // QUILLMOOR98_SMB_CONF and QUILLMOOR98_SAMBA_ELEVATE.
  static Options OptionsFromEnvironment();

  explicit SambaServerBackend(Options options);

  bool Load(std::string& why) override;

 protected:
  NetStatus ReadForShares(ServerTables& tables) override;
  NetStatus ReadForSessions(ServerTables& tables) override;
  NetStatus DeleteClientSessions(const std::string& client, const std::uint32_t* key) override;

 private:
  Options options_;
  // Implementation state (share cache keyed by smb.conf change, the last
  // status reading with its time and the smbd process ids per client).
  std::mutex mutex_;
};

}  // namespace qm
