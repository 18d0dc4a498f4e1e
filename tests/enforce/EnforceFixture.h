// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/Monitor.h"
#include "core/ProcessList.h"
#include "core/RefreshCycle.h"
#include "core/Text.h"
#include "enforce/EnforcementRules.h"
#include "platform/InMemoryServerBackend.h"
#include "support/RecordingMessages.h"
#include "support/RecordingView.h"

namespace qm::test {

// The server's deletions as the platform calls received them.
class RecordingBackend final : public InMemoryServerBackend {
 public:
  explicit RecordingBackend(bool family95) : InMemoryServerBackend(family95) {}
  struct Deletion {
    std::string client;
    bool userNull = true;
    std::uint16_t key = 0;
    bool waited = false;  // the caller waited for the outcome
  };
  NetStatus NetSessionDel(const char16_t* clientName, const char16_t* userName) override {
    deletions.push_back({clientName ? Utf16ToUtf8(clientName) : "", !userName, 0, waiting});
    if (keepsSessions && !failures.contains(ServerCall::NetSessionDel)) return NERR_Success;
    return InMemoryServerBackend::NetSessionDel(clientName, userName);
  }
  NetStatus NetSessionDel50(const char* clientName, std::uint16_t key) override {
    deletions.push_back({clientName ? clientName : "", true, key});
    if (onlyKeyedSession) {
      // One session of the client per call, as a 95/98 server with several
      // sessions of one client does it.
      auto& s = tables.sessions;
      for (auto it = s.begin(); it != s.end(); ++it) {
        if (it->client == clientName && (it->key & 0xFFFF) == key) {
          s.erase(it);
          return NERR_Success;
        }
      }
      return NERR_ClientNameNotFound;
    }
    return InMemoryServerBackend::NetSessionDel50(clientName, key);
  }
  void SetDeletionsWait(bool on) override { waiting = on; }
  std::string DeletionFailure() const override { return deletionFailure; }
  std::vector<Deletion> deletions;
  bool waiting = false;
  std::string deletionFailure;  // what a tool said, as a real back end tells it
  bool onlyKeyedSession = false;
  // The server ends the sessions, but the client reconnects at once.
  bool keepsSessions = false;
};

// A process table a test writes by hand.
class FakeProcessList final : public ProcessList {
 public:
  struct Process {
    std::uint32_t id;
    std::string exe;  // empty: cannot be opened
  };
  bool EnumProcesses(std::uint32_t* ids, std::uint32_t bytes,
                     std::uint32_t& bytesReturned) override {
    ++enumCalls;
    bufferSizes.push_back(bytes);
    bytesReturned = 0;
    if (fail) return false;
    std::uint32_t n = 0;
    for (const Process& p : processes) {
      if ((n + 1) * 4 > bytes) break;
      ids[n++] = p.id;
    }
    bytesReturned = n * 4;
    return true;
  }
  bool ExecutablePath(std::uint32_t id, std::string& path) override {
    ++pathReads;
    for (const Process& p : processes) {
      if (p.id == id && !p.exe.empty()) {
        path = p.exe;
        return true;
      }
    }
    return false;
  }
  std::unique_ptr<ProcessSnapshot> CreateSnapshot() override {
    if (fail) return nullptr;
    class Walk final : public ProcessSnapshot {
     public:
      explicit Walk(FakeProcessList& list) : list_(list) {}
      bool Next(std::string& exe) override {
        while (i_ < list_.processes.size()) {
          ++list_.pathReads;
          const Process& p = list_.processes[i_++];
          if (!p.exe.empty()) {
            exe = p.exe;
            return true;
          }
        }
        return false;
      }

     private:
      FakeProcessList& list_;
      std::size_t i_ = 0;
    };
    return std::make_unique<Walk>(*this);
  }
  void Run(std::uint32_t id, const std::string& exe) { processes.push_back({id, exe}); }
  void StopAll() { processes.clear(); }

  std::vector<Process> processes;
  bool fail = false;
  int enumCalls = 0;
  int pathReads = 0;
  std::vector<std::uint32_t> bufferSizes;
};

// A monitor over an in-memory server with every enforcement rule wired in.
// Nothing is kicked by the default settings: each test switches on what it
// needs.
class EnforceWorld {
 public:
  explicit EnforceWorld(bool family95 = false) : backend(family95) {
    settings.Idle = 0;
    settings.MaxNumber = 0;
    EXPECT_EQ(api.LoadServerApi(), family95 ? 1 : 0);
    monitor.SetRules(&rules);
  }

  // A client with one session (key) connected to share (created if new).
  void Connect(const std::string& client, const std::string& share = "DATA",
               std::uint32_t key = 1) {
    AddShare(share);
    backend.tables.connections.push_back({share, client, "user-" + client});
    backend.tables.sessions.push_back({client, "user-" + client, key, ""});
  }
  // A client that the server knows by name and peer address.
  void ConnectFrom(const std::string& client, const std::string& address,
                   const std::string& share = "DATA") {
    AddShare(share);
    backend.tables.connections.push_back({share, client, "user-" + client, address});
    backend.tables.sessions.push_back({client, "user-" + client, 0, address});
  }
  bool HasSessionFrom(const std::string& client, const std::string& address) const {
    return std::any_of(backend.tables.sessions.begin(), backend.tables.sessions.end(),
                       [&](const auto& s) { return s.client == client && s.address == address; });
  }
  void AddShare(const std::string& share) {
    for (const auto& s : backend.tables.shares) {
      if (s.name == share) return;
    }
    backend.tables.shares.push_back({share, "/srv/" + share, 0});
  }
  void OpenFile(const std::string& client, const std::string& share, const std::string& name) {
    backend.tables.files.push_back({share, client, "user-" + client, "/srv/" + share + "/" + name});
  }
  bool HasSession(const std::string& client) const {
    for (const auto& s : backend.tables.sessions) {
      if (s.client == client) return true;
    }
    return false;
  }

  void Tick() { cycle.RefreshTimerTimer(); }
  TUser* User(const std::string& name) {
    UserEntry* e = monitor.Users.Find(name);
    return e ? e->User() : nullptr;
  }
  // The newest Former node of name (the user's latest visit).
  TTreeNodeCustom* Former(const std::string& name) {
    TreeNode* n = FindNode(monitor.TreeViewFormer, nullptr, name);
    return n ? n->Data() : nullptr;
  }
  void Shutdown() {
    ClearSeenFlags(monitor.Users);
    monitor.SweepUsers(true);
  }

  RecordingBackend backend;
  ServerApi api{backend};
  Settings settings;
  ManualClock clock;
  RecordingMessages messages;
  RecordingView view;
  Monitor monitor{api, settings, MonitorPorts{&clock, &messages, &view, nullptr, nullptr, nullptr}};
  RefreshCycle cycle{monitor};
  FakeProcessList processes;
  EnforcementRules rules{monitor, &processes};
};

}  // namespace qm::test
