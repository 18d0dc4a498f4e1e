// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>

#include "core/Monitor.h"
#include "core/RefreshCycle.h"
#include "enforce/EnforcementRules.h"
#include "platform/InMemoryServerBackend.h"

namespace qm::test {

// A monitor over an in-memory server with the enforcement rules, no rule
// switched on.
struct ObserveWorld {
  ObserveWorld() {
    settings.Idle = 0;
    settings.MaxNumber = 0;
    settings.Siren = false;
    api.LoadServerApi();
    monitor.SetRules(&rules);
    for (const char* share : {"DOCS", "MUSIC"}) {
      backend.tables.shares.push_back({share, std::string("/srv/") + share, 0});
    }
  }
  void Connect(const std::string& client, const std::string& share, int files = 0) {
    backend.tables.connections.push_back({share, client, "user-" + client});
    backend.tables.sessions.push_back({client, "user-" + client, 1, ""});
    for (int f = 0; f < files; ++f) {
      backend.tables.files.push_back(
          {share, client, "user-" + client, "/srv/" + share + "/" + client + std::to_string(f)});
    }
  }
  void Tick() { cycle.RefreshTimerTimer(); }

  InMemoryServerBackend backend;
  ServerApi api{backend};
  Settings settings;
  ManualClock clock;
  Monitor monitor{api, settings, MonitorPorts{&clock, nullptr, nullptr, nullptr, nullptr, nullptr}};
  RefreshCycle cycle{monitor};
  EnforcementRules rules{monitor, nullptr};
};

}  // namespace qm::test
