#pragma once

#include <sys/types.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ProcessRunner.h"
#include "platform/TableServerBackend.h"
#include "platform/samba/SambaShareList.h"
#include "platform/samba/SmbStatusParser.h"

namespace qm {

// Statuses of our own for failures of Samba's tools that no platform
// status describes. Bit 29 marks an application's own codes.
inline constexpr NetStatus kSambaToolFailed = 0x20000001;  // a tool failed or could not start
inline constexpr NetStatus kSambaBadOutput = 0x20000002;   // a tool's answer could not be read

// The real Samba server of this computer, NT family. One `smbstatus --json`
// run serves every enumeration of a tick; the shares come from the parsed
// smb.conf (`testparm -s`), read again only when smb.conf changes. Tools run
// without a shell, with argument vectors and a time limit.
class SambaServerBackend final : public TableServerBackend {
 public:
  struct Options {
    std::string smbConf;               // --configfile for every tool; empty: Samba's default
    std::vector<std::string> elevate;  // prefix for the tools (e.g. sudo -n); empty: none
    std::string smbstatus = "smbstatus";
    std::string testparm = "testparm";
    std::string smbcontrol = "smbcontrol";
    // With elevation: the helper that checks a process is a client smbd and
    // only then ends it (the sudoers drop-in allows it, not smbcontrol);
    // empty: smbcontrol itself.
    std::string endSession;
    std::chrono::milliseconds toolTimeout{5000};
    // A session enumeration reuses a reading at most this old.
    std::chrono::milliseconds sessionReuse{1000};
  };

  // The group whose members the sudoers drop-in lets run Samba's tools as
  // root.
  static constexpr const char* kElevationGroup = "quillmoor98";

  // QUILLMOOR98_SMB_CONF and QUILLMOOR98_SAMBA_ELEVATE (see ElevationFor);
  // elevated with Samba's own smb.conf, sessions end through the installed
  // helper (or the one beside the program).
  static Options OptionsFromEnvironment();
  // The elevation prefix: the setting split on blanks when it is set (set
  // and empty: none); unset, "sudo -n" when the program is not root and
  // sudo may elevate it (it is a member of kElevationGroup and sudo is
  // installed), none otherwise.
  static std::vector<std::string> ElevationFor(const char* setting, bool root, bool sudoAllowed);

  explicit SambaServerBackend(Options options);

  bool Load(std::string& why) override;

  // Why the last reading failed, in one line ("" after a success).
  std::string LastFailure() const;

  // The tables for a share list and an smbstatus reading.
  static ServerTables MakeTables(const SambaShareList& shares, const SmbStatus& status);
  // The key of a client: the name it sent, else its address.
  static std::string ClientKey(const SmbStatus::Session& session);
  // The status for a tool run that did not succeed.
  static NetStatus StatusOfRun(const ProcessResult& run);

 protected:
  NetStatus ReadForShares(ServerTables& tables) override;
  NetStatus ReadForSessions(ServerTables& tables) override;
  NetStatus DeleteClientSessions(const std::string& client, const std::uint32_t* key) override;

 private:
  struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    long long modified = 0;  // nanoseconds
    long long size = -1;
    bool operator==(const FileStamp&) const = default;
  };

  // All with mutex_ held.
  NetStatus Read(bool reuseRecent);
  NetStatus RefreshShareList();
  // The main smbd process: its id, 0 when it is not running, -1 when that
  // cannot be told (its pid file is not readable).
  long SmbdPid() const;
  NetStatus RunTool(const std::string& tool, std::vector<std::string> arguments,
                    ProcessResult& run);
  NetStatus Fail(NetStatus status, std::string why);

  Options options_;
  mutable std::mutex mutex_;  // held for a whole reading: one reading at a time
  std::string confPath_;      // the smb.conf in use; learnt from testparm when not given
  bool haveShares_ = false;
  FileStamp confStamp_;
  SambaShareList shares_;
  std::string pidDirectory_;
  bool haveReading_ = false;
  std::chrono::steady_clock::time_point readingTime_;
  SmbStatus status_;
  ServerTables tables_;
  std::string lastFailure_;
};

}  // namespace qm
