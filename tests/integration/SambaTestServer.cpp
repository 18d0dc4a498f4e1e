// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "SambaTestServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "core/RefreshCycle.h"
#include "os/AtomicFile.h"
#include "os/ProcessRunner.h"

namespace qm::test {

namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::vector<std::string> kSystemDirs = {"/usr/sbin", "/usr/bin", "/sbin", "/bin"};

// The full path of a program, or "" (smbd lives in sbin, often not in PATH).
std::string FindProgram(const std::string& name) {
  if (const char* path = std::getenv("PATH")) {
    std::string list = path;
    std::size_t start = 0;
    while (start <= list.size()) {
      const std::size_t end = std::min(list.find(':', start), list.size());
      const std::string candidate = list.substr(start, end - start) + "/" + name;
      if (end > start && ProcessRunner::Executable(candidate)) return candidate;
      start = end + 1;
    }
  }
  for (const auto& dir : kSystemDirs) {
    if (ProcessRunner::Executable(dir + "/" + name)) return dir + "/" + name;
  }
  return {};
}

bool CanBind(const std::string& address, int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  ::close(fd);
  return ok;
}

// A loopback address where nothing serves SMB yet; the search starts at a
// place of this process's own, so two test programs rarely meet.
std::string FreeLoopbackAddress() {
  const int start = static_cast<int>(::getpid() % 50);
  for (int i = 0; i < 250; ++i) {
    const std::string address = "127.0.0." + std::to_string(2 + (start + i) % 250);
    if (CanBind(address, 139) && CanBind(address, 445)) return address;
  }
  return {};
}

bool Reaped(pid_t pid) {
  int status;
  const pid_t r = ::waitpid(pid, &status, WNOHANG);
  return r == pid || (r < 0 && errno == ECHILD);
}

bool ReapWithin(pid_t pid, std::chrono::milliseconds grace) {
  return SambaTestServer::WaitUntil([&] { return Reaped(pid); }, grace);
}

std::string Tail(const std::string& path, std::size_t bytes = 2000) {
  std::string text, error;
  if (!ReadWholeFile(path, text, error)) return {};
  return text.size() > bytes ? text.substr(text.size() - bytes) : text;
}
}  // namespace

SambaTestServer::SambaTestServer() {
  // smbd's helper processes become ours when smbd ends, so they are reaped
  // at once instead of whenever init gets to them.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
}

SambaTestServer::~SambaTestServer() {
  Stop();
}

std::string SambaTestServer::HoldFilesUnavailable() {
  const ProcessResult run =
      ProcessRunner::Run({kSystemPython, "-c", "import samba.samba3.libsmb_samba_internal"});
  return run.Succeeded() ? std::string()
                         : "Samba's Python bindings are missing (package python3-samba)";
}

std::string SambaTestServer::Unavailable() {
  if (::geteuid() != 0) {
    return "a private smbd with its own password database needs root (run the tests as root)";
  }
  for (const char* tool :
       {"smbd", "smbclient", "smbpasswd", "smbstatus", "testparm", "smbcontrol"}) {
    if (FindProgram(tool).empty()) {
      return std::string(tool) + " is not installed (packages samba, smbclient, samba-common-bin)";
    }
  }
  if (!::getpwnam("nobody")) return "the account \"nobody\" does not exist";
  return {};
}

bool SambaTestServer::WaitUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

SambaServerBackend::Options SambaTestServer::BackendOptions() const {
  SambaServerBackend::Options options;
  options.smbConf = confPath_;
  // The program's schedule: readings and deletions on a worker.
  options.readAhead = true;
  return options;
}

void SambaTestServer::Tick(RefreshCycle& cycle) {
  if (cycle.TickDue()) {
    while (!cycle.ReadingComplete()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  cycle.RefreshTimerTimer();
}

bool SambaTestServer::WriteFiles(std::string& why) {
  char pattern[] = "/tmp/qm-samba-XXXXXX";
  if (!::mkdtemp(pattern)) {
    why = std::string("cannot make a temporary folder: ") + std::strerror(errno);
    return false;
  }
  folder_ = pattern;
  // The account smbd serves works in the share folders below.
  ::chmod(folder_.c_str(), 0755);
  std::error_code ec;
  for (const char* dir :
       {"lock", "state", "cache", "pid", "private", "ncalrpc", "bind-dns", "log", "share", "spool",
        "client/lock", "client/state", "client/cache", "client/private", "clients"}) {
    fs::create_directories(folder_ + "/" + dir, ec);
    if (ec) {
      why = "cannot make " + folder_ + "/" + dir + ": " + ec.message();
      return false;
    }
  }
  diskPath_ = folder_ + "/share";
  printPath_ = folder_ + "/spool";
  ::chmod(diskPath_.c_str(), 0777);
  ::chmod(printPath_.c_str(), 01777);
  ::chmod((folder_ + "/private").c_str(), 0700);

  const std::string& f = folder_;
  const std::string conf =
      "[global]\n"
      "  netbios name = QUILLTEST\n"
      "  workgroup = QUILLGROUP\n"
      "  server role = standalone server\n"
      "  interfaces = " +
      address_ +
      "/8\n"
      "  bind interfaces only = yes\n"
      "  smb ports = 139 445\n"
      "  lock directory = " +
      f +
      "/lock\n"
      "  state directory = " +
      f +
      "/state\n"
      "  cache directory = " +
      f +
      "/cache\n"
      "  pid directory = " +
      f +
      "/pid\n"
      "  private dir = " +
      f +
      "/private\n"
      "  ncalrpc dir = " +
      f +
      "/ncalrpc\n"
      "  binddns dir = " +
      f +
      "/bind-dns\n"
      "  log file = " +
      f +
      "/log/smbd.log\n"
      "  max log size = 0\n"
      "  log level = 1\n"
      "  passdb backend = tdbsam:" +
      f +
      "/private/passdb.tdb\n"
      "  map to guest = never\n"
      "  load printers = no\n"
      "  printing = bsd\n"
      "  printcap name = /dev/null\n"
      "  disable spoolss = yes\n"
      "  panic action =\n"
      "[" +
      diskShare_ +
      "]\n"
      "  path = " +
      diskPath_ +
      "\n"
      "  read only = no\n"
      "[" +
      printShare_ +
      "]\n"
      "  path = " +
      printPath_ +
      "\n"
      "  printable = yes\n"
      "  print command = /bin/true\n";
  const std::string clientConf =
      "[global]\n"
      "  workgroup = QUILLGROUP\n"
      "  lock directory = " +
      f +
      "/client/lock\n"
      "  state directory = " +
      f +
      "/client/state\n"
      "  cache directory = " +
      f +
      "/client/cache\n"
      "  private dir = " +
      f +
      "/client/private\n"
      "  log file = " +
      f + "/client/log\n";
  confPath_ = f + "/smb.conf";
  clientConfPath_ = f + "/client.conf";
  authPath_ = f + "/client/auth";
  std::string error;
  if (!WriteFileAtomically(confPath_, conf, error) ||
      !WriteFileAtomically(clientConfPath_, clientConf, error) ||
      !WriteFileAtomically(authPath_, "username = " + account_ + "\npassword = " + password_ + "\n",
                           error, 0600) ||
      !WriteFileAtomically(diskPath_ + "/" + openFile_, "Quillmoor 98 test file\n", error, 0666)) {
    why = error;
    return false;
  }
  ::chmod((diskPath_ + "/" + openFile_).c_str(), 0666);

  ProcessRunner::Options options;
  options.input = password_ + "\n" + password_ + "\n";
  options.timeout = std::chrono::seconds(10);
  const ProcessResult added = ProcessRunner::Run(
      {FindProgram("smbpasswd"), "-c", confPath_, "-s", "-a", account_}, options);
  if (!added.Succeeded()) {
    why = "smbpasswd could not add " + account_ + ": " + added.error + added.err + added.out;
    return false;
  }
  return true;
}

bool SambaTestServer::Start(std::string& why) {
  why = Unavailable();
  if (!why.empty()) return false;
  address_ = FreeLoopbackAddress();
  if (address_.empty()) {
    why = "no free loopback address for a private smbd";
    return false;
  }
  if (!WriteFiles(why)) return false;
  return StartSmbd(why);
}

bool SambaTestServer::Listening() const {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(139);
  ::inet_pton(AF_INET, address_.c_str(), &sa.sin_addr);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  ::close(fd);
  return ok;
}

bool SambaTestServer::StartSmbd(std::string& why) {
  if (smbd_ > 0) return true;
  const std::string out = folder_ + "/log/smbd.out";
  const int log = ::open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log < 0) {
    why = "cannot open " + out + ": " + std::strerror(errno);
    return false;
  }
  smbd_ = ProcessRunner::Spawn({FindProgram("smbd"), "--foreground", "--no-process-group",
                                "--debug-stdout", "-d1", "--configfile=" + confPath_},
                               -1, log, log, why);
  ::close(log);
  if (smbd_ < 0) return false;
  const std::string pidFile = folder_ + "/pid/smbd.pid";
  bool died = false;
  const bool ready = WaitUntil([&] {
    if (Reaped(smbd_)) {
      died = true;
      return true;
    }
    return Listening() && fs::exists(pidFile);
  });
  if (!ready || died) {
    why = std::string(died ? "smbd ended at start" : "smbd did not come up within 10 s") +
          "; its output:\n" + Tail(out);
    if (died) {
      ::kill(-smbd_, SIGKILL);
    } else {
      ProcessRunner::KillAndReap(smbd_);
    }
    smbd_ = -1;
    return false;
  }
  return true;
}

void SambaTestServer::StopSmbd() {
  if (smbd_ <= 0) return;
  const pid_t group = smbd_;
  ::kill(smbd_, SIGTERM);
  if (!ReapWithin(smbd_, std::chrono::seconds(10))) ProcessRunner::KillAndReap(smbd_);
  // The processes that served clients are in its group too.
  ::kill(-group, SIGKILL);
  WaitUntil(
      [&] {
        int status;
        while (::waitpid(-group, &status, WNOHANG) > 0) {
        }
        return ::kill(-group, 0) != 0 && errno == ESRCH;
      },
      std::chrono::seconds(5));
  smbd_ = -1;
}

void SambaTestServer::Stop() {
  while (!clients_.empty()) StopClient(clients_.begin()->first);
  StopSmbd();
  if (!folder_.empty()) {
    std::error_code ec;
    fs::remove_all(folder_, ec);
    folder_.clear();
  }
}

SambaTestServer::ClientId SambaTestServer::StartClient(const std::string& name,
                                                       const std::string& share, bool keepFileOpen,
                                                       const std::string& from,
                                                       const std::vector<std::string>& options) {
  // From another address: through env, with the shim that binds its sockets.
  std::vector<std::string> argv = {
      FindProgram("env"),
      from.empty() ? std::string("QM_SOURCE_ADDRESS=") : "LD_PRELOAD=" QM_SOURCE_ADDRESS_SHIM,
      "QM_SOURCE_ADDRESS=" + from,
      FindProgram("smbclient"),
      "//" + address_ + "/" + share,
      "-p",
      "139",
      "-n",
      name,
      "-A",
      authPath_,
      "--configfile=" + clientConfPath_};
  argv.insert(argv.end(), options.begin(), options.end());
  const ClientId id = Launch(argv);
  // smbclient reads its commands once connected; this one waits for it.
  if (id >= 0 && keepFileOpen) SendCommand(id, "open " + openFile_);
  return id;
}

SambaTestServer::ClientId SambaTestServer::HoldFiles(int count, std::uint32_t access,
                                                     int connections) {
  // Samba's own client library opens with any access mask (smbclient
  // cannot); held until the end of its standard input.
  static const char* const kScript =
      "import sys\nfrom samba.samba3 import libsmb_samba_internal as libsmb, param\n"
      "from samba import credentials\n"
      "address, share, user, password, conf, count, access, conns = sys.argv[1:9]\n"
      "lp = param.get_context(); lp.load(conf); creds = credentials.Credentials()\n"
      "creds.guess(lp); creds.set_username(user); creds.set_password(password); held = []\n"
      "for k in range(int(conns)):\n"
      "    c = libsmb.Conn(address, share, lp=lp, creds=creds); held.append(c)\n"
      "    held += [c.create('held-%d.txt' % (k * int(count) + i), DesiredAccess=int(access),\n"
      "             CreateDisposition=3, ShareAccess=7) for i in range(int(count))]\n"
      "print('held', len(held) - int(conns), flush=True); sys.stdin.read()\n";
  return Launch({kSystemPython, "-c", kScript, address_, diskShare_, account_, password_,
                 clientConfPath_, std::to_string(count), std::to_string(access),
                 std::to_string(connections)});
}

SambaTestServer::ClientId SambaTestServer::Launch(const std::vector<std::string>& argv) {
  int sv[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return -1;
  const ClientId id = nextClient_++;
  Client client;
  client.input = sv[0];
  client.log = folder_ + "/clients/" + std::to_string(id) + ".log";
  const int log = ::open(client.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  std::string why;
  client.pid = ProcessRunner::Spawn(argv, sv[1], log, log, why);
  ::close(sv[1]);
  if (log >= 0) ::close(log);
  if (client.pid < 0) {
    ::close(sv[0]);
    return -1;
  }
  clients_[id] = client;
  return id;
}

bool SambaTestServer::SendCommand(ClientId id, const std::string& line) {
  auto it = clients_.find(id);
  if (it == clients_.end() || it->second.input < 0) return false;
  const std::string command = line + "\n";
  return ::send(it->second.input, command.data(), command.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(command.size());
}

void SambaTestServer::StopClient(ClientId id) {
  auto it = clients_.find(id);
  if (it == clients_.end()) return;
  Client& c = it->second;
  if (c.input >= 0) ::close(c.input);  // end of commands: smbclient leaves
  if (c.pid > 0 && !ReapWithin(c.pid, std::chrono::seconds(5))) ProcessRunner::KillAndReap(c.pid);
  clients_.erase(it);
}

bool SambaTestServer::ClientRunning(ClientId id) {
  auto it = clients_.find(id);
  if (it == clients_.end() || it->second.pid <= 0) return false;
  if (Reaped(it->second.pid)) {
    it->second.pid = -1;
    return false;
  }
  return true;
}

std::string SambaTestServer::ClientOutput(ClientId id) const {
  auto it = clients_.find(id);
  return it == clients_.end() ? std::string() : Tail(it->second.log);
}

std::string SambaTestServer::SmbdOutput() const {
  return Tail(folder_ + "/log/smbd.out") + Tail(folder_ + "/log/smbd.log");
}

}  // namespace qm::test
