#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
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
// smb.conf (`testparm -s`), read again only when smb.conf changes, and from
// the usershares folder. Tools run without a shell, with argument vectors
// and a time limit. With read-ahead on, readings are taken on a worker
// thread so the caller's thread never waits for a tool (but for the first
// reading).
class SambaServerBackend final : public TableServerBackend {
 public:
  struct Options {
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

  // What tells a file's version apart: it is read again when this changes.
  struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    long long modified = 0;  // nanoseconds
    long long size = -1;
    bool operator==(const FileStamp&) const = default;
  };

  explicit SambaServerBackend(Options options);
  ~SambaServerBackend() override;

  bool Load(std::string& why) override;
  void Unload() override;
  void SetReadAhead(bool on) override;
  std::vector<std::string> TakeNotices() override;

  // Why the last reading failed, in one line ("" after a success).
  std::string LastFailure() const;

  // The tables for a share list, an smbstatus reading, the usershares and
  // the printers Samba makes of [printers] (by name).
  static ServerTables MakeTables(const SambaShareList& shares, const SmbStatus& status,
                                 const std::vector<SambaShare>& usershares = {},
                                 const std::vector<std::string>& printers = {});
  // Samba shows a session as "(auth in progress)" while it authenticates:
  // a new session, or one renewing its credentials. That is no account. A
  // renewing session keeps the account it had (accounts: by session id,
  // from the readings before; brought up to date); a new one is no user
  // yet, and its tree connects are left out of the reading.
  static void SettleAuthenticating(SmbStatus& status,
                                   std::unordered_map<std::string, std::string>& accounts);
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
  // The name of a client: the name it sent, else its address. The client
  // is that name from the session's peer address (SmbStatusParser::AddressOf
  // of its hostname), which Samba records and the client cannot choose.
  static std::string ClientKey(const SmbStatus::Session& session);
  // The status for a tool run that did not succeed.
  static NetStatus StatusOfRun(const ProcessResult& run);

 protected:
  NetStatus ReadForShares(ServerTables& tables) override;
  NetStatus ReadForSessions(ServerTables& tables) override;
  bool SharesUnchanged(const ServerTables& current) override;
  NetStatus DeleteClientSessions(const std::string& client, const std::string& address,
                                 const std::uint32_t* key) override;

 private:
  using Clock = std::chrono::steady_clock;
  // One reading of Samba's state, kept whole so the tick, the session
  // enumerations and a deletion can share it across threads.
  struct Reading {
    NetStatus status = NERR_Success;
    ServerTables tables;
    SmbStatus smb;
    Clock::time_point started;
    std::uint64_t serial = 0;
  };
  using ReadingPtr = std::shared_ptr<const Reading>;

  // Takes a reading now (one at a time) and makes it the newest.
  ReadingPtr ReadNow();
  // The newest successful reading if it is younger than maxAge and was
  // started after the last deletion; else a reading taken now.
  // (With evenBeforeDeletion, also one started before the last deletion.)
  ReadingPtr RecentReading(std::chrono::milliseconds maxAge, bool evenBeforeDeletion = false);
  // Read-ahead: the newest reading (waiting only for the very first) and a
  // request for the next.
  ReadingPtr ReadingForTick();
  void Publish(const ReadingPtr& reading, const std::string& failure);
  void WorkerLoop();
  void StopWorker();

  // All with readMutex_ held.
  NetStatus Read(Reading& reading);
  NetStatus RefreshShareList();
  void RefreshUsershares();
  // With `printcap name = cups`: CUPS' queues, asked again when the last
  // answer is older than cupsReuse; a failed question keeps the last answer.
  void RefreshCupsPrinters();
  NetStatus Unreadable(NetStatus status);
  // The main smbd process: its id, 0 when it is not running, -1 when that
  // cannot be told (its pid file is not readable).
  long SmbdPid() const {
    return SmbdPid(pidDirectory_, options_.smbConf.empty() ? confPath_ : options_.smbConf);
  }
  static long SmbdPid(const std::string& pidDirectory, const std::string& conf);
  // why (when given) learns why a run failed.
  NetStatus RunTool(const std::string& tool, std::vector<std::string> arguments, ProcessResult& run,
                    std::string* why);
  NetStatus Fail(NetStatus status, std::string why);

  Options options_;
  std::mutex readMutex_;  // held for a whole reading: one reading at a time
  std::unordered_map<std::string, std::string> accounts_;  // by session id, last reading
  bool printersFromCups_ = false;
  bool cupsAsked_ = false;
  std::chrono::steady_clock::time_point cupsAskedAt_;
  std::string confPath_;  // the smb.conf in use; learnt from testparm when not given
  bool haveShares_ = false;
  FileStamp confStamp_;
  FileStamp brokenStamp_;  // the smb.conf testparm last refused
  bool confBroken_ = false;
  SambaShareList shares_;
  std::string pidDirectory_;
  FileStamp usershareStamp_;
  std::vector<SambaShare> usershares_;
  std::vector<std::string> printers_;
  std::string readFailure_;               // why the reading in progress failed
  std::vector<std::string> readNotices_;  // what the reading in progress has to tell

  // The newest reading and the worker, under stateMutex_.
  mutable std::mutex stateMutex_;
  std::condition_variable stateChanged_;
  ReadingPtr newest_;
  std::uint64_t serial_ = 0;
  std::uint64_t appliedSerial_ = 0;
  Clock::time_point deletedAt_{};
  std::string pidDirectoryInUse_, confInUse_;  // for a deletion, from the last reading
  bool readAhead_ = false;
  bool wanted_ = false;
  bool stopping_ = false;
  std::thread worker_;
  std::string lastFailure_;
  bool unreadable_ = false;
  std::vector<std::string> notices_;
};

}  // namespace qm
