// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

// What the benchmarks share: clients with shares and open files, and a
// monitor over an in-memory server with a clock the benchmark turns.
#include <string>

#include "core/Monitor.h"
#include "platform/InMemoryServerBackend.h"

namespace qm::bench {

inline constexpr int kSharesPerUser = 3;
inline constexpr int kFilesPerShare = 5;

// SHARE0..SHARE2 at /srv/share0..2.
inline void AddShares(ServerTables& t) {
  for (int s = 0; s < kSharesPerUser; ++s) {
    t.shares.push_back({"SHARE" + std::to_string(s), "/srv/share" + std::to_string(s), 0});
  }
}

// A client on every share with five open files on each, and its session.
inline void AddClient(ServerTables& t, const std::string& client) {
  for (int s = 0; s < kSharesPerUser; ++s) {
    const std::string share = "SHARE" + std::to_string(s);
    t.connections.push_back({share, client, "user-" + client});
    for (int f = 0; f < kFilesPerShare; ++f) {
      t.files.push_back(
          {share, client, "user-" + client,
           "/srv/share" + std::to_string(s) + "/" + client + "/file" + std::to_string(f) + ".odt"});
    }
  }
  t.sessions.push_back({client, "user-" + client, 0, "127.0.0.1"});
}

// The monitor over an in-memory server, bound, with no sound and no
// disconnect rule switched on.
struct MemoryMonitor {
  explicit MemoryMonitor(MonitorView* view = nullptr, FileIcons* icons = nullptr)
      : api(backend), monitor(api, settings, Ports(view, icons)) {
    settings.Siren = false;
    settings.Notify = false;
    settings.MaxNumber = 0;
    settings.Idle = 0;
    api.LoadServerApi();
  }
  MonitorPorts Ports(MonitorView* view, FileIcons* icons) {
    MonitorPorts p;
    p.clock = &clock;
    p.view = view;
    p.icons = icons;
    return p;
  }

  ManualClock clock;
  Settings settings;
  InMemoryServerBackend backend;
  ServerApi api;
  Monitor monitor;
};

}  // namespace qm::bench
