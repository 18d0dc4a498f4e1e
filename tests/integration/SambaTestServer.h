// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/samba/SambaServerBackend.h"

namespace qm {
class RefreshCycle;
}

namespace qm::test {

// A private smbd for tests: its own smb.conf, state folders, password
// database and log in a temporary folder, listening only on a loopback
// address of its own (127.0.0.2 or the next free one), with a disk share
// and a printable share and one account. Needs root. Clients are smbclient
// processes talking NetBIOS session service (port 139), so each can send a
// NetBIOS name of its own. Everything started is stopped by Stop() or the
// destructor.
class SambaTestServer {
 public:
  using ClientId = int;

  SambaTestServer();
  ~SambaTestServer();
  SambaTestServer(const SambaTestServer&) = delete;
  SambaTestServer& operator=(const SambaTestServer&) = delete;

  // Why a private smbd cannot run here ("" when it can).
  static std::string Unavailable();

  // Sets up the folder and starts smbd; false (why set) on failure.
  bool Start(std::string& why);
  // Stops every client and smbd, removes the folder.
  void Stop();
  // Stops smbd only (and with it the sessions it serves); the folder stays.
  void StopSmbd();
  // Starts smbd again on the same folder; false (why set) on failure.
  bool StartSmbd(std::string& why);
  pid_t SmbdPid() const { return smbd_; }

  const std::string& ConfPath() const { return confPath_; }
  const std::string& Address() const { return address_; }
  const std::string& Folder() const { return folder_; }
  const std::string& UserName() const { return account_; }
  const std::string& DiskShare() const { return diskShare_; }
  const std::string& DiskPath() const { return diskPath_; }
  const std::string& PrintShare() const { return printShare_; }
  const std::string& PrintPath() const { return printPath_; }
  // The file a client that keeps a file open opens, on the disk share.
  const std::string& OpenFileName() const { return openFile_; }
  // Backend options that point Samba's tools at this server.
  SambaServerBackend::Options BackendOptions() const;

  // Starts smbclient as NetBIOS name `name` on `share`, from the loopback
  // address from (""; the kernel's); with keepFileOpen it opens
  // OpenFileName() and keeps it open; options go to smbclient (e.g. "-m",
  // "NT1"). -1 when it cannot be started.
  ClientId StartClient(const std::string& name, const std::string& share, bool keepFileOpen,
                       const std::string& from = {}, const std::vector<std::string>& options = {});
  ClientId StartClient(const std::string& name, const std::string& share, bool keepFileOpen,
                       const std::vector<std::string>& options) {
    return StartClient(name, share, keepFileOpen, std::string(), options);
  }
  // A client process (account UserName()) with that many connections from
  // 127.0.0.1, each holding count files open on the disk share with this
  // access mask, made as held-0.txt, held-1.txt...; its output says "held
  // N" once all are open. Needs Samba's Python bindings
  // (HoldFilesUnavailable says why they are missing).
  ClientId HoldFiles(int count, std::uint32_t access, int connections = 1);
  static std::string HoldFilesUnavailable();
  static constexpr const char* kSystemPython = "/usr/bin/python3";
  // Hands a client one more smbclient command line (e.g. "open NAME").
  bool SendCommand(ClientId id, const std::string& line);
  // Ends a client (end of its commands, then killed after a grace time).
  void StopClient(ClientId id);
  bool ClientRunning(ClientId id);
  // What a client wrote, for failure messages.
  std::string ClientOutput(ClientId id) const;
  std::string SmbdOutput() const;

  // Polls done() until it holds or timeout passes.
  static bool WaitUntil(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // One tick as the program runs it: the reading starts when the tick is
  // due, and the tick applies it once it is complete.
  static void Tick(RefreshCycle& cycle);

 private:
  struct Client {
    pid_t pid = -1;
    int input = -1;  // our end of its standard input
    std::string log;
  };
  bool WriteFiles(std::string& why);
  ClientId Launch(const std::vector<std::string>& argv);
  bool Listening() const;

  std::string folder_;
  std::string address_;
  std::string confPath_;
  std::string clientConfPath_;
  std::string authPath_;
  std::string account_ = "nobody";
  std::string password_ = "Quill-98-test";
  std::string diskShare_ = "data";
  std::string printShare_ = "queue";
  std::string diskPath_;
  std::string printPath_;
  std::string openFile_ = "hello.txt";
  pid_t smbd_ = -1;
  std::map<ClientId, Client> clients_;
  ClientId nextClient_ = 1;
};

}  // namespace qm::test
