#include "platform/samba/SambaServerBackend.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>
#include <unordered_map>
#include <utility>

#include "core/Text.h"
#include "platform/AtomicFile.h"
#include "platform/samba/SambaSessionSecurity.h"

namespace qm {

namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Where Samba's tools live when PATH does not name the system folders.
const std::vector<std::string> kToolDirs = {"/usr/sbin", "/usr/bin", "/sbin", "/bin"};

// How long a deletion waits for the ended smbd processes to go, so the
// next reading no longer shows them.
constexpr std::chrono::milliseconds kShutdownWait{1000};

std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// A path without trailing slashes ("/" stays).
std::string_view Normal(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

std::string Join(std::string_view base, std::string_view name) {
  if (name.empty() || name == ".") return std::string(base);
  std::string out(base);
  if (out.empty() || out.back() != '/') out += '/';
  out += name;
  return out;
}

// A small file's first bytes; false with errno set when it cannot be read.
bool ReadSmallFile(const std::string& path, std::string& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) < 0 && errno == EINTR) {
  }
  const int error = errno;
  ::close(fd);
  if (n < 0) {
    errno = error;
    return false;
  }
  text.assign(buffer, static_cast<std::size_t>(n));
  return true;
}

// What /proc says of a process: its program name, state and parent.
struct ProcessState {
  bool exists = false;
  bool known = false;  // /proc answered
  std::string comm;
  char state = '?';
  long parent = 0;
};

ProcessState StateOf(long pid) {
  ProcessState p;
  std::string line;
  if (!ReadSmallFile("/proc/" + std::to_string(pid) + "/stat", line)) {
    p.exists = errno != ENOENT && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
    return p;
  }
  // "pid (comm) state ppid ...": comm may hold blanks and parentheses.
  const std::size_t open = line.find('(');
  const std::size_t close = line.rfind(')');
  p.exists = true;
  if (open == std::string::npos || close == std::string::npos || close + 2 >= line.size()) {
    return p;
  }
  p.known = true;
  p.comm = line.substr(open + 1, close - open - 1);
  p.state = line[close + 2];
  p.parent = std::strtol(line.c_str() + close + 3, nullptr, 10);
  return p;
}

bool IsSmbd(const ProcessState& p) {
  return p.comm.rfind("smbd", 0) == 0;
}

// The process is there, not a zombie, and runs smbd (a pid file can
// outlive its smbd and its number be given to another program).
bool SmbdAlive(long pid) {
  const ProcessState p = StateOf(pid);
  if (!p.known) return p.exists;
  return p.state != 'Z' && p.state != 'X' && IsSmbd(p);
}

// An smbd whose parent is no smbd: the main process, which serves no
// client itself; a shutdown would end every client.
bool MainSmbd(long pid) {
  const ProcessState p = StateOf(pid);
  return p.known && IsSmbd(p) && !IsSmbd(StateOf(p.parent));
}

std::vector<std::string> SplitBlanks(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// The process holds the group now, as its primary or a supplementary one
// (sudo judges the same groups; a user added to the group gets it at the
// next login).
// The helper installed with the program, else the one beside it (a build
// tree).
std::string EndSessionTool() {
#ifdef QM_END_SESSION_TOOL
  if (::access(QM_END_SESSION_TOOL, X_OK) == 0) return QM_END_SESSION_TOOL;
#endif
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return {};
  std::string beside(self, static_cast<std::size_t>(n));
  beside = beside.substr(0, beside.find_last_of('/') + 1) + "quillmoor98-end-session";
  return ::access(beside.c_str(), X_OK) == 0 ? beside : std::string();
}

bool HoldsGroup(const char* name) {
  std::vector<char> buffer(16384);
  group entry{};
  group* found = nullptr;
  if (::getgrnam_r(name, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
    return false;
  }
  const gid_t gid = found->gr_gid;
  if (::getegid() == gid || ::getgid() == gid) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int got = ::getgroups(count, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}
}  // namespace

SambaServerBackend::Options SambaServerBackend::OptionsFromEnvironment() {
  Options options;
  if (const char* conf = std::getenv("QUILLMOOR98_SMB_CONF"); conf && *conf) options.smbConf = conf;
  const char* elevate = std::getenv("QUILLMOOR98_SAMBA_ELEVATE");
  const bool root = ::geteuid() == 0;
  const bool sudoAllowed = !elevate && !root && HoldsGroup(kElevationGroup) &&
                           ProcessRunner::Executable("sudo", kToolDirs);
  options.elevate = ElevationFor(elevate, root, sudoAllowed);
  if (!options.elevate.empty() && options.smbConf.empty()) options.endSession = EndSessionTool();
  // The program's ticks never wait for a tool.
  options.readAhead = true;
  return options;
}

std::vector<std::string> SambaServerBackend::ElevationFor(const char* setting, bool root,
                                                          bool sudoAllowed) {
  if (setting) return SplitBlanks(setting);
  if (!root && sudoAllowed) return {"sudo", "-n"};
  return {};
}

SambaServerBackend::SambaServerBackend(Options options)
    : options_(std::move(options)), readAhead_(options_.readAhead) {}

SambaServerBackend::~SambaServerBackend() {
  StopWorker();
}

void SambaServerBackend::Unload() {
  StopWorker();
}

void SambaServerBackend::SetReadAhead(bool on) {
  if (!on) StopWorker();
  std::lock_guard lock(stateMutex_);
  readAhead_ = on;
}

void SambaServerBackend::StopWorker() {
  {
    std::lock_guard lock(stateMutex_);
    stopping_ = true;
    stateChanged_.notify_all();
  }
  if (worker_.joinable()) worker_.join();
  std::lock_guard lock(stateMutex_);
  stopping_ = false;
}

std::vector<std::string> SambaServerBackend::TakeNotices() {
  std::lock_guard lock(stateMutex_);
  return std::exchange(notices_, {});
}

bool SambaServerBackend::Load(std::string& why) {
  std::vector<std::string> needed = {options_.smbstatus, options_.testparm, options_.smbcontrol};
  if (!options_.endSession.empty()) needed.push_back(options_.endSession);
  if (!options_.elevate.empty()) needed.insert(needed.begin(), options_.elevate.front());
  for (const auto& tool : needed) {
    if (!ProcessRunner::Executable(tool, kToolDirs)) {
      why = "Samba's tools are not installed: " + tool +
            " was not found (install the packages samba and samba-common-bin)";
      return false;
    }
  }
  if (!options_.smbConf.empty()) {
    struct stat st;
    if (::stat(options_.smbConf.c_str(), &st) != 0) {
      why = "QUILLMOOR98_SMB_CONF names " + options_.smbConf + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

std::string SambaServerBackend::LastFailure() const {
  std::lock_guard lock(stateMutex_);
  return lastFailure_;
}

NetStatus SambaServerBackend::ReadForShares(ServerTables& tables) {
  bool ahead;
  {
    std::lock_guard lock(stateMutex_);
    ahead = readAhead_;
  }
  const ReadingPtr r = ahead ? ReadingForTick() : ReadNow();
  if (r->status) return r->status;
  tables = r->tables;
  return NERR_Success;
}

bool SambaServerBackend::SharesUnchanged(const ServerTables& /*current*/) {
  // A tick that comes before the next reading is complete applies the one
  // it has already applied: nothing to read or index again.
  std::lock_guard lock(stateMutex_);
  if (!readAhead_ || !newest_ || newest_->status || newest_->serial != appliedSerial_) {
    return false;
  }
  wanted_ = true;
  stateChanged_.notify_all();
  return true;
}

NetStatus SambaServerBackend::ReadForSessions(ServerTables& tables) {
  std::chrono::milliseconds reuse;
  {
    std::lock_guard lock(stateMutex_);
    reuse = readAhead_ ? options_.readAheadReuse : options_.sessionReuse;
  }
  const ReadingPtr r = RecentReading(reuse);
  if (r->status) return r->status;
  tables = r->tables;
  return NERR_Success;
}

SambaServerBackend::ReadingPtr SambaServerBackend::RecentReading(std::chrono::milliseconds maxAge,
                                                                 bool evenBeforeDeletion) {
  {
    std::lock_guard lock(stateMutex_);
    if (newest_ && !newest_->status && (evenBeforeDeletion || newest_->started > deletedAt_) &&
        Clock::now() - newest_->started < maxAge) {
      return newest_;
    }
  }
  return ReadNow();
}

SambaServerBackend::ReadingPtr SambaServerBackend::ReadingForTick() {
  std::unique_lock lock(stateMutex_);
  if (!worker_.joinable()) worker_ = std::thread([this] { WorkerLoop(); });
  wanted_ = true;
  stateChanged_.notify_all();
  // Only the first tick waits: the start-up waits for the server anyway.
  stateChanged_.wait(lock, [&] { return newest_ != nullptr; });
  appliedSerial_ = newest_->serial;
  // The next reading starts now, to be ready for the next tick.
  wanted_ = true;
  stateChanged_.notify_all();
  return newest_;
}

void SambaServerBackend::WorkerLoop() {
  std::unique_lock lock(stateMutex_);
  for (;;) {
    stateChanged_.wait(lock, [&] { return wanted_ || stopping_; });
    if (stopping_) return;
    wanted_ = false;
    lock.unlock();
    ReadNow();
    lock.lock();
  }
}

SambaServerBackend::ReadingPtr SambaServerBackend::ReadNow() {
  auto reading = std::make_shared<Reading>();
  std::string failure;
  std::vector<std::string> notices;
  {
    std::lock_guard lock(readMutex_);
    reading->started = Clock::now();
    readFailure_.clear();
    reading->status = Read(*reading);
    failure = std::move(readFailure_);
    notices = std::exchange(readNotices_, {});
    std::lock_guard state(stateMutex_);
    pidDirectoryInUse_ = pidDirectory_;
    confInUse_ = options_.smbConf.empty() ? confPath_ : options_.smbConf;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - reading->started).count();
  {
    std::lock_guard lock(stateMutex_);
    reading->serial = ++serial_;
    for (auto& n : notices) notices_.push_back(std::move(n));
  }
  Publish(reading, failure);
  ReadingDone(reading->status == NERR_Success, seconds);
  return reading;
}

void SambaServerBackend::Publish(const ReadingPtr& reading, const std::string& failure) {
  std::lock_guard lock(stateMutex_);
  lastFailure_ = failure;
  const bool unreadable = reading->status == kServerStateUnreadable;
  if (unreadable && !unreadable_) {
    notices_.push_back("Samba's state cannot be read (" + failure +
                       "); the connections shown are those of the last reading");
  } else if (!unreadable && unreadable_) {
    notices_.push_back("Samba's state can be read again");
  }
  unreadable_ = unreadable;
  // A failed reading does not replace a good one for the session
  // enumerations, but the tick must learn of it.
  newest_ = reading;
  stateChanged_.notify_all();
}

NetStatus SambaServerBackend::Fail(NetStatus status, std::string why) {
  readFailure_ = std::move(why);
  return status;
}

NetStatus SambaServerBackend::Unreadable(NetStatus status) {
  // Only a server that is really down ends every user; a reading that is
  // too slow or fails while smbd runs changes nothing.
  if (status != NERR_ServerNotStarted && status != kSambaToolFailed && status != kSambaBadOutput) {
    return status;
  }
  if (SmbdPid() == 0) {
    readFailure_ = "smbd is not running";
    return NERR_ServerNotStarted;
  }
  return kServerStateUnreadable;
}

NetStatus SambaServerBackend::Read(Reading& reading) {
  if (NetStatus s = RefreshShareList()) return s;
  RefreshUsershares();
  RefreshCupsPrinters();
  if (SmbdPid() == 0) return Fail(NERR_ServerNotStarted, "smbd is not running");
  std::vector<std::string> args = {"--json"};
  if (!options_.smbConf.empty()) args.push_back("--configfile=" + options_.smbConf);
  ProcessResult run;
  if (NetStatus s = RunTool(options_.smbstatus, std::move(args), run, &readFailure_)) {
    // A tool that cannot be started at all is no passing state.
    if (run.outcome == ProcessResult::Outcome::NotStarted) return s;
    return Unreadable(s);
  }
  std::string why;
  if (!SmbStatusParser::Parse(run.out, reading.smb, why)) {
    return Unreadable(Fail(kSambaBadOutput, why));
  }
  SettleAuthenticating(reading.smb, accounts_);
  reading.tables = MakeTables(shares_, reading.smb, usershares_, printers_);
  return NERR_Success;
}

void SambaServerBackend::SettleAuthenticating(
    SmbStatus& status, std::unordered_map<std::string, std::string>& accounts) {
  constexpr std::string_view kAuthenticating = "(auth in progress)";
  std::unordered_map<std::string, std::string> now;
  std::set<std::string> newIds;
  std::set<long> newPids;
  std::erase_if(status.sessions, [&](SmbStatus::Session& s) {
    if (s.username == kAuthenticating) {
      auto known = accounts.find(s.id);
      if (s.id.empty() || known == accounts.end()) {
        newIds.insert(s.id);
        newPids.insert(s.pid);
        return true;
      }
      s.username = known->second;
    }
    if (!s.id.empty()) now[s.id] = s.username;
    return false;
  });
  accounts = std::move(now);
  if (newIds.empty()) return;
  // A tree connect that names no session belongs to its process's: left out
  // when only new sessions live in that process.
  std::set<long> keptPids;
  for (const auto& s : status.sessions) keptPids.insert(s.pid);
  std::erase_if(status.treeConnects, [&](const SmbStatus::TreeConnect& tc) {
    if (!tc.sessionId.empty()) return newIds.count(tc.sessionId) > 0;
    return newPids.count(tc.pid) > 0 && keptPids.count(tc.pid) == 0;
  });
}

namespace {
SambaServerBackend::FileStamp StampOf(const struct stat& st) {
  return {st.st_dev, st.st_ino,
          static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec,
          static_cast<long long>(st.st_size)};
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

NetStatus SambaServerBackend::RefreshShareList() {
  const std::string path = options_.smbConf.empty() ? confPath_ : options_.smbConf;
  FileStamp stamp;
  struct stat st;
  const bool stamped = !path.empty() && ::stat(path.c_str(), &st) == 0;
  if (stamped) {
    stamp = StampOf(st);
    if (haveShares_ && stamp == confStamp_) return NERR_Success;
    // Refused as it is: asking again changes nothing until it is edited.
    if (confBroken_ && stamp == brokenStamp_) return NERR_Success;
  }
  std::vector<std::string> args = {"-s"};
  if (!options_.smbConf.empty()) args.push_back(options_.smbConf);
  ProcessResult run;
  if (NetStatus s = RunTool(options_.testparm, args, run, &readFailure_)) {
    if (s == ERROR_ACCESS_DENIED || run.outcome == ProcessResult::Outcome::NotStarted) return s;
    if (run.outcome != ProcessResult::Outcome::Exited) return Unreadable(s);
    // smb.conf has an error: the last good share list stays (with none yet,
    // the shares in use are learnt from their tree connects).
    if (!confBroken_) {
      readNotices_.push_back("smb.conf has an error, the last good share list is kept: " +
                             FirstErrorLine(run));
    }
    confBroken_ = true;
    brokenStamp_ = stamp;
    haveShares_ = false;
    return NERR_Success;
  }
  if (confBroken_) {
    readNotices_.push_back("smb.conf reads without error again");
    confBroken_ = false;
  }
  haveShares_ = false;
  shares_ = SambaShareList::Parse(run.out);
  if (options_.smbConf.empty()) {
    // testparm names the file it read: "Load smb config files from PATH".
    const std::string marker = "Load smb config files from ";
    if (const auto at = run.err.find(marker); at != std::string::npos) {
      confPath_ = FirstLine(run.err.substr(at + marker.size()));
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
    if (RunTool(options_.testparm, args, query, nullptr) == NERR_Success) {
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
    const std::string printing = Lower(shares_.Global("printing"));
    if (printcap.empty()) {
      printcap = printing.empty() || printing == "cups" ? "cups" : "/etc/printcap";
    }
    if (printcap.front() == '/') {
      printers_ = ReadPrintcap(printcap);
    } else {
      printersFromCups_ =
          Lower(printcap) == "cups" && Lower(shares_.Global("load printers")) != "no";
    }
  }
  usershareStamp_ = {};  // the folder may have moved
  haveShares_ = stamped;
  confStamp_ = stamp;
  return NERR_Success;
}

void SambaServerBackend::RefreshUsershares() {
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
  const FileStamp stamp = StampOf(st);
  if (stamp == usershareStamp_) return;
  usershares_ = ReadUsershares(folder);
  usershareStamp_ = stamp;
}

std::vector<SambaShare> SambaServerBackend::ReadUsershares(const std::string& folder) {
  std::vector<SambaShare> shares;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name.front() == '.' || !it->is_regular_file(ec)) continue;
    std::string text, error;
    SambaShare share;
    if (ReadWholeFile(it->path().string(), text, error) && ParseUsershare(name, text, share)) {
      shares.push_back(std::move(share));
    }
  }
  std::sort(shares.begin(), shares.end(),
            [](const SambaShare& a, const SambaShare& b) { return a.name < b.name; });
  return shares;
}

bool SambaServerBackend::ParseUsershare(const std::string& fileName, std::string_view text,
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

void SambaServerBackend::RefreshCupsPrinters() {
  if (!printersFromCups_) return;
  const auto now = std::chrono::steady_clock::now();
  if (cupsAsked_ && now - cupsAskedAt_ < options_.cupsReuse) return;
  cupsAsked_ = true;
  cupsAskedAt_ = now;
  ProcessRunner::Options run;
  run.timeout = std::min(options_.toolTimeout, std::chrono::milliseconds(2000));
  run.outputLimit = std::size_t{1} << 20;
  const ProcessResult result = ProcessRunner::Run({options_.lpstat, "-e"}, run);
  // No CUPS (the tool missing, or its server not running) is no printer.
  if (result.outcome == ProcessResult::Outcome::NotStarted) {
    printers_.clear();
  } else if (result.Succeeded()) {
    printers_ = ParseCupsQueues(result.out);
  }
}

std::vector<std::string> SambaServerBackend::ParseCupsQueues(std::string_view text) {
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

std::vector<std::string> SambaServerBackend::ReadPrintcap(const std::string& path) {
  std::string text, error;
  if (!ReadWholeFile(path, text, error)) return {};
  return ParsePrintcap(text);
}

std::vector<std::string> SambaServerBackend::ParsePrintcap(std::string_view text) {
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

long SambaServerBackend::SmbdPid(const std::string& pidDirectory, const std::string& conf) {
  // Unknown folder: leave the verdict to smbstatus.
  if (pidDirectory.empty()) return -1;
  std::vector<std::string> files = {pidDirectory + "/smbd.pid"};
  if (!conf.empty()) {
    // Some versions name the pid file after a configuration file that is
    // not the default one.
    files.push_back(pidDirectory + "/smbd-" + conf.substr(conf.rfind('/') + 1) + ".pid");
  }
  for (const auto& file : files) {
    std::string text;
    if (!ReadSmallFile(file, text)) {
      if (errno == ENOENT || errno == ENOTDIR) continue;
      return -1;
    }
    const long pid = std::strtol(text.c_str(), nullptr, 10);
    if (pid > 0 && SmbdAlive(pid)) return pid;
  }
  return 0;
}

NetStatus SambaServerBackend::RunTool(const std::string& tool, std::vector<std::string> arguments,
                                      ProcessResult& run, std::string* whyFailed) {
  std::vector<std::string> argv = options_.elevate;
  argv.push_back(tool);
  argv.insert(argv.end(), std::make_move_iterator(arguments.begin()),
              std::make_move_iterator(arguments.end()));
  ProcessRunner::Options runOptions;
  runOptions.timeout = options_.toolTimeout;
  run = ProcessRunner::Run(argv, runOptions);
  if (run.Succeeded()) return NERR_Success;
  std::string why = run.error;
  if (why.empty()) {
    why = tool + ": " + FirstLine(!run.err.empty() ? run.err : run.out);
    if (run.outcome == ProcessResult::Outcome::Signaled) {
      why += " (signal " + std::to_string(run.signal) + ")";
    } else {
      why += " (exit status " + std::to_string(run.exitCode) + ")";
    }
  }
  if (whyFailed) *whyFailed = why;
  return StatusOfRun(run);
}

NetStatus SambaServerBackend::StatusOfRun(const ProcessResult& run) {
  switch (run.outcome) {
    case ProcessResult::Outcome::TimedOut:
      return NERR_ServerNotStarted;
    case ProcessResult::Outcome::NotStarted:
      return kSambaToolFailed;
    case ProcessResult::Outcome::Exited:
      if (run.exitCode == 0) return NERR_Success;
      break;
    case ProcessResult::Outcome::Signaled:
      break;
  }
  // Samba's tools refuse to read its state without root; sudo refuses
  // without rights or a password.
  const std::string said = Lower(run.err + "\n" + run.out);
  for (const char* denial :
       {"only works as root", "permission denied", "access denied", "operation not permitted",
        "a password is required", "not in the sudoers", "not allowed to"}) {
    if (said.find(denial) != std::string::npos) return ERROR_ACCESS_DENIED;
  }
  return kSambaToolFailed;
}

std::string SambaServerBackend::ClientKey(const SmbStatus::Session& session) {
  if (!session.remoteMachine.empty()) return session.remoteMachine;
  std::string address = SmbStatusParser::AddressOf(session.hostname);
  return address.empty() ? session.hostname : address;
}

namespace {
// A home share's folder: [homes]'s path with the account put in, else the
// account's home folder.
std::string HomePath(const SambaShare& homes, const std::string& account) {
  std::string path = homes.path;
  for (const char* code : {"%S", "%u", "%U"}) {
    for (std::size_t at; (at = path.find(code)) != std::string::npos;) {
      path.replace(at, 2, account);
    }
  }
  if (!path.empty()) return path;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwnam_r(account.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir) {
    return found->pw_dir;
  }
  return {};
}
}  // namespace

ServerTables SambaServerBackend::MakeTables(const SambaShareList& shares, const SmbStatus& status,
                                            const std::vector<SambaShare>& usershares,
                                            const std::vector<std::string>& printers) {
  ServerTables t;
  for (const auto& share : shares.Shares()) {
    if (SameTextAsciiNoCase(share.name, "IPC$")) continue;
    t.shares.push_back({share.name, share.path, share.printable ? 1u : 0u});
  }
  // Usershares are disk shares; one named like a share of smb.conf is not
  // served.
  for (const auto& share : usershares) {
    if (!shares.Find(share.name) && !SameTextAsciiNoCase(share.name, "IPC$")) {
      t.shares.push_back({share.name, share.path, 0});
    }
  }
  t.shares.push_back({"IPC$", "", 3});

  std::unordered_map<std::string, const SmbStatus::Session*> byId;
  std::unordered_multimap<long, const SmbStatus::Session*> byPid;
  for (const auto& s : status.sessions) {
    if (!s.id.empty()) byId.emplace(s.id, &s);
    if (s.pid > 0) byPid.emplace(s.pid, &s);
    t.sessions.push_back({ClientKey(s), s.username, 0, SmbStatusParser::AddressOf(s.hostname)});
  }
  auto sessionOf = [&](const SmbStatus::TreeConnect& tc) -> const SmbStatus::Session* {
    if (auto it = byId.find(tc.sessionId); it != byId.end()) return it->second;
    auto range = byPid.equal_range(tc.pid);
    return range.first != range.second ? range.first->second : nullptr;
  };
  auto shareIndex = [&](std::string_view name) -> int {
    for (std::size_t i = 0; i < t.shares.size(); ++i) {
      if (SameTextAsciiNoCase(t.shares[i].name, name)) return static_cast<int>(i);
    }
    return -1;
  };
  // Samba makes a print queue of [printers] for each printer it loads; its
  // print jobs are spooled in [printers]'s path.
  const std::string spool =
      shares.Printers() ? std::string(Normal(shares.Printers()->path)) : std::string();
  auto printerOf = [&](const SmbStatus::TreeConnect& tc) {
    if (!shares.Printers()) return false;
    for (const auto& name : printers) {
      if (SameTextAsciiNoCase(name, tc.service)) return true;
    }
    if (spool.empty() || tc.pid <= 0) return false;
    return std::any_of(status.opens.begin(), status.opens.end(), [&](const SmbStatus::Open& o) {
      return o.pid == tc.pid && Normal(o.servicePath) == spool;
    });
  };

  // Shares in use that no list names: home folders made from [homes], print
  // queues made from [printers], shares taken out of smb.conf while clients
  // still use them. A share of none of these kinds is a disk share whose
  // path is learnt from the files opened on it.
  std::unordered_multimap<long, int> sharesOfPid;
  std::set<int> unlisted;
  for (const auto& tc : status.treeConnects) {
    const SmbStatus::Session* s = sessionOf(tc);
    int index = shareIndex(tc.service);
    if (index < 0 && !tc.service.empty()) {
      if (shares.Homes() && s && SameTextAsciiNoCase(tc.service, s->username)) {
        t.shares.push_back({tc.service, HomePath(*shares.Homes(), s->username), 0});
      } else if (printerOf(tc)) {
        t.shares.push_back({tc.service, spool, 1});
      } else {
        t.shares.push_back({tc.service, "", 0});
      }
      index = static_cast<int>(t.shares.size() - 1);
      unlisted.insert(index);
    }
    if (index >= 0 && tc.pid > 0) sharesOfPid.emplace(tc.pid, index);
    t.connections.push_back(
        {index >= 0 ? t.shares[static_cast<std::size_t>(index)].name : tc.service,
         s ? ClientKey(*s) : tc.machine, s ? s->username : std::string()});
  }

  t.security = SambaSessionSecurity::OfClients(shares, status);

  for (const auto& open : status.opens) {
    auto sessions = byPid.equal_range(open.pid);
    if (sessions.first == sessions.second) continue;  // no live session holds it
    const SmbStatus::Session* s = sessions.first->second;
    for (auto it = sessions.first; it != sessions.second; ++it) {
      if (it->second->uid == open.uid) s = it->second;
    }
    int found = -1;
    int onlyUnlisted = -1;
    int unlistedCount = 0;
    auto used = sharesOfPid.equal_range(open.pid);
    for (auto it = used.first; it != used.second; ++it) {
      const auto& share = t.shares[static_cast<std::size_t>(it->second)];
      if (!share.path.empty() && Normal(share.path) == Normal(open.servicePath)) {
        found = it->second;
        break;
      }
      if (unlisted.count(it->second) && share.path.empty() && share.type == 0) {
        if (onlyUnlisted != it->second) ++unlistedCount;
        onlyUnlisted = it->second;
      }
    }
    if (found < 0 && unlistedCount == 1) {
      found = onlyUnlisted;
      t.shares[static_cast<std::size_t>(found)].path = std::string(Normal(open.servicePath));
    }
    const std::string base =
        found >= 0 ? std::string(Normal(t.shares[static_cast<std::size_t>(found)].path))
                   : std::string(Normal(open.servicePath));
    t.files.push_back({found >= 0 ? t.shares[static_cast<std::size_t>(found)].name : std::string(),
                       ClientKey(*s), s->username, Join(base, open.filename)});
  }
  return t;
}

NetStatus SambaServerBackend::DeleteClientSessions(const std::string& client,
                                                   const std::uint32_t* /*key*/) {
  bool ahead;
  {
    std::lock_guard lock(stateMutex_);
    ahead = readAhead_;
  }
  // With the worker, the tick's own reading serves, even one that still
  // shows processes ended since: they are passed over below, so a rule that
  // chooses the client again costs no tool run on the caller's thread.
  const ReadingPtr reading =
      RecentReading(ahead ? options_.readAheadReuse : options_.sessionReuse, ahead);
  if (reading->status) return reading->status;
  const SmbStatus& status = reading->smb;
  std::set<long> pids;
  std::set<std::string> ofClient;
  for (const auto& s : status.sessions) {
    if (ClientKey(s) != client) continue;
    ofClient.insert(s.id);
    if (s.pid > 0) pids.insert(s.pid);
  }
  for (const auto& tc : status.treeConnects) {
    const bool known = std::any_of(status.sessions.begin(), status.sessions.end(),
                                   [&](const auto& s) { return s.id == tc.sessionId; });
    if (ofClient.count(tc.sessionId) || (!known && tc.machine == client)) {
      if (tc.pid > 0) pids.insert(tc.pid);
    }
  }
  std::string pidDirectory, conf;
  bool stale;
  {
    std::lock_guard lock(stateMutex_);
    pidDirectory = pidDirectoryInUse_;
    conf = confInUse_;
    stale = reading->started <= deletedAt_;
  }
  // Never the main smbd (that would end every client) nor ourselves.
  pids.erase(SmbdPid(pidDirectory, conf));
  pids.erase(static_cast<long>(::getpid()));
  std::erase_if(pids, [](long pid) { return pid == 1 || MainSmbd(pid); });
  if (stale) std::erase_if(pids, [](long pid) { return !SmbdAlive(pid); });
  if (pids.empty()) return NERR_ClientNameNotFound;

  NetStatus result = NERR_Success;
  for (long pid : pids) {
    std::vector<std::string> args;
    if (options_.endSession.empty() && !options_.smbConf.empty()) {
      args.push_back("--configfile=" + options_.smbConf);
    }
    args.push_back(std::to_string(pid));
    if (options_.endSession.empty()) args.push_back("shutdown");
    ProcessResult run;
    const NetStatus s =
        RunTool(options_.endSession.empty() ? options_.smbcontrol : options_.endSession,
                std::move(args), run, nullptr);
    // A process that has gone meanwhile needs no shutdown.
    if (s != NERR_Success && result == NERR_Success && SmbdAlive(pid)) result = s;
  }
  const auto deadline = Clock::now() + kShutdownWait;
  while (result == NERR_Success && Clock::now() < deadline &&
         !std::all_of(pids.begin(), pids.end(), [](long pid) { return !SmbdAlive(pid); })) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  {
    // Readings begun before now may still show the ended sessions.
    std::lock_guard state(stateMutex_);
    deletedAt_ = Clock::now();
    if (readAhead_) {
      wanted_ = true;
      stateChanged_.notify_all();
    }
  }
  return result;
}

}  // namespace qm
