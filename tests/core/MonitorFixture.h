// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Monitor.h"
#include "core/RefreshCycle.h"
#include "platform/InMemoryServerBackend.h"
#include "support/RecordingMessages.h"
#include "support/RecordingView.h"

namespace qm::test {

// A monitor over an in-memory server with recording ports and a manual clock.
class MonitorFixture : public ::testing::Test {
 protected:
  explicit MonitorFixture(bool family95 = false)
      : backend(family95), api(backend), monitor(api, settings, Ports()), cycle(monitor) {
    api.LoadServerApi();
  }
  MonitorPorts Ports() {
    MonitorPorts p;
    p.clock = &clock;
    p.messages = &messages;
    p.view = &view;
    return p;
  }
  void Tick() { cycle.RefreshTimerTimer(); }
  void Connect(const std::string& client, const std::string& share, const std::string& user = "u") {
    backend.tables.connections.push_back({share, client, user});
    backend.tables.sessions.push_back({client, user, 0, "127.0.0.1"});
  }
  void Open(const std::string& client, const std::string& share, const std::string& path,
            const std::string& user = "u") {
    backend.tables.files.push_back({share, client, user, path});
  }
  void Leave(const std::string& client) { RemoveClient(backend.tables, client, "", nullptr); }

  ManualClock clock;
  RecordingView view;
  RecordingMessages messages;
  Settings settings;
  InMemoryServerBackend backend;
  ServerApi api;
  Monitor monitor;
  RefreshCycle cycle;
};

}  // namespace qm::test
