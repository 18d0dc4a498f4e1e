// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SambaTest.h"
#include "core/Monitor.h"
#include "core/PointerList.h"
#include "core/RefreshCycle.h"
#include "core/ServerApi.h"
#include "enforce/EnforcementRules.h"
#include "os/AtomicFile.h"
#include "platform/ProcProcessList.h"
#include "platform/samba/SambaServerBackend.h"
#include "support/RecordingMessages.h"
#include "support/RecordingView.h"

namespace qm::test {

// The refresh cycle with the disconnect rules over the binding over the
// Samba backend of a private smbd, wired as the program wires them, with
// the real /proc for the program watch and a clock the test moves. The
// rules start switched off (no idle limit, no maximum); a test turns on
// what it exercises.
class MonitorOnSambaTest : public SambaTest {
 protected:
  void SetUp() override {
    SambaTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    settings.Idle = 0;
    settings.MaxNumber = 0;
    settings.Siren = false;
    // smbclient holds IPC$ for a moment while it sets up: whether a tick
    // catches it is a matter of timing.
    settings.IPC = false;
    messages.confirmAnswer = false;
    Bind(server.BackendOptions());
  }

  // The monitor over a backend with these options (again, when it is bound).
  void Bind(const SambaServerBackend::Options& options) {
    cycle.reset();
    rules.reset();
    monitor.reset();
    api.reset();
    backend = std::make_unique<SambaServerBackend>(options);
    api = std::make_unique<ServerApi>(*backend);
    ASSERT_EQ(api->LoadServerApi(), 0) << api->LoadError();
    MonitorPorts ports;
    ports.clock = &clock;
    ports.messages = &messages;
    ports.view = &view;
    monitor = std::make_unique<Monitor>(*api, settings, ports);
    rules = std::make_unique<EnforcementRules>(*monitor, &processes);
    monitor->SetRules(rules.get());
    cycle = std::make_unique<RefreshCycle>(*monitor);
  }

  void TearDown() override {
    if (monitor) {
      // As at shutdown: every lookup thread ends (its last steps served)
      // while the rules it publishes into are still there.
      ClearSeenFlags(monitor->Users);
      monitor->SweepUsers(true);
    }
    cycle.reset();
    rules.reset();
    monitor.reset();
    api.reset();
    backend.reset();
    SambaTest::TearDown();
  }

  void Tick() { SambaTestServer::Tick(*cycle); }
  // Ticks until done() holds; false after the time limit.
  bool TickUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
    return SambaTestServer::WaitUntil(
        [&] {
          Tick();
          return done();
        },
        timeout);
  }

  TreeNode* Current(const std::string& key) const {
    return FindNode(monitor->TreeViewCurrent, nullptr, key);
  }
  TreeNode* Former(const std::string& key) const {
    return FindNode(monitor->TreeViewFormer, nullptr, key);
  }
  static TUser* UserOf(TreeNode* node) {
    return node ? dynamic_cast<TUser*>(node->Data()) : nullptr;
  }
  // The user's node in the current tree holds the share and, when asked,
  // the file a client that keeps a file open holds.
  bool Shows(const std::string& key, const std::string& share, bool withOpenFile = false) const {
    TreeNode* user = Current(key);
    TreeNode* shareNode = user ? FindNode(monitor->TreeViewCurrent, user, share) : nullptr;
    if (!shareNode) return false;
    return !withOpenFile || FindNode(monitor->TreeViewCurrent, shareNode, OpenFilePath());
  }
  std::string OpenFilePath() const { return server.DiskPath() + "/" + server.OpenFileName(); }

  // Starts a client and ticks until the current tree shows it (with its
  // open file when it keeps one). Its key is its name in lower case: Samba
  // reports the NetBIOS name a client sends that way.
  SambaTestServer::ClientId Connect(const std::string& name, const std::string& share,
                                    bool keepFileOpen = false) {
    const SambaTestServer::ClientId id = Client(name, share, keepFileOpen);
    const bool shown = TickUntil([&] { return Shows(Key(name), share, keepFileOpen); });
    EXPECT_TRUE(shown) << name << " never showed" << Diagnostics(id);
    return id;
  }
  // smb.conf with text added after [global]'s first line, or at its end.
  void EditConf(const std::string& global, const std::string& tail) {
    std::string conf, error;
    ASSERT_TRUE(ReadWholeFile(server.ConfPath(), conf, error)) << error;
    conf.insert(conf.find('\n') + 1, global);
    conf += tail;
    ASSERT_TRUE(WriteFileAtomically(server.ConfPath(), conf, error)) << error;
  }

  static std::string Key(std::string name) {
    for (char& c : name) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
  }

  std::string Diagnostics(SambaTestServer::ClientId id) const {
    return "\nclient said:\n" + server.ClientOutput(id) + "\nsmbd said:\n" + server.SmbdOutput() +
           "\nlast failure: " + (backend ? backend->LastFailure() : std::string());
  }

  // Every record of a subtree in tree order (the user, a share, its files,
  // the next share...), each as "name: exit status".
  static std::vector<std::string> Records(TreeNode* node) {
    std::vector<std::string> records;
    std::function<void(TreeNode*)> visit = [&](TreeNode* n) {
      if (n->Data()) records.push_back(n->Text() + ": " + StatusText(n->Data()->ExitStatus));
      for (int i = 0; i < n->ChildCount(); ++i) visit(n->Child(i));
    };
    if (node) visit(node);
    return records;
  }
  // The same for these names, all with one exit status.
  static std::vector<std::string> Records(const std::string& status,
                                          const std::vector<std::string>& names) {
    std::vector<std::string> records;
    for (const auto& name : names) records.push_back(name + ": " + status);
    return records;
  }

  ManualClock clock;
  Settings settings;
  RecordingMessages messages;
  RecordingView view;
  ProcProcessList processes;
  std::unique_ptr<SambaServerBackend> backend;
  std::unique_ptr<ServerApi> api;
  std::unique_ptr<Monitor> monitor;
  std::unique_ptr<EnforcementRules> rules;
  std::unique_ptr<RefreshCycle> cycle;
};

}  // namespace qm::test
