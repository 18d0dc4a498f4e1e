// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// A crowd on a real, private smbd: 200 smbclient clients arrive at once.
// Measured:
//   publish_all_ms  from the tick that shows the last of them to the last
//                   address published (target 3 s), the lookups sharing
//                   captures of the real nbtstat tool's listings of that smbd
//   captures        tool runs for the whole crowd
// and, for the whole program (`quillmoor98 --console --step` on that smbd),
// a stop right after the start-up's tick, every lookup still pending
// (target: ended within 2 s). Needs root, like the integration tests.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "ProgramStop.h"
#include "core/Monitor.h"
#include "core/RefreshCycle.h"
#include "core/ServerApi.h"
#include "integration/SambaTestServer.h"
#include "platform/samba/SambaServerBackend.h"
#include "resolve/TIPThreadStarter.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
constexpr int kClients = 200;

qm::ReverseResolver::Options HostsFileOnly() {
  qm::ReverseResolver::Options o;
  o.lookups = "f";
  return o;
}

struct World {
  qm::test::SambaTestServer server;
  std::string error;

  World() {
    error = qm::test::SambaTestServer::Unavailable();
    if (!error.empty() || !server.Start(error)) return;
    ::setenv("QUILLMOOR98_SERVER", "samba", 1);
    ::setenv("QUILLMOOR98_SMB_CONF", server.ConfPath().c_str(), 1);
    ::setenv("QUILLMOOR98_SAMBA_ELEVATE", "", 1);
  }
  void StartClients(int round) {
    for (int i = 0; i < kClients; ++i) {
      clients.push_back(server.StartClient("R" + std::to_string(round) + "C" + std::to_string(i),
                                           server.DiskShare(), false));
    }
  }
  void StopClients() {
    for (auto id : clients) server.StopClient(id);
    clients.clear();
  }
  std::vector<qm::test::SambaTestServer::ClientId> clients;
};

World& TheWorld() {
  static World world;
  return world;
}

void BM_SambaCrowdArrives(benchmark::State& state) {
  World& w = TheWorld();
  if (!w.error.empty()) {
    state.SkipWithError(("real Samba is not available: " + w.error).c_str());
    return;
  }
  qm::SambaServerBackend backend(w.server.BackendOptions());
  qm::ServerApi api(backend);
  if (api.LoadServerApi() != 0) {
    state.SkipWithError(api.LoadError().c_str());
    return;
  }
  qm::Settings settings;
  settings.Siren = false;
  settings.Idle = 0;
  settings.MaxNumber = 0;
  settings.IPC = false;
  qm::UiStepQueue steps;
  qm::NameTable table(qm::NameTable::ToolBesideProgram(), HostsFileOnly());
  qm::TIPThreadStarter starter(qm::LookupServices{});
  int published = 0;
  {
    qm::Monitor monitor(api, settings, qm::MonitorPorts{});
    qm::RefreshCycle cycle(monitor);
    starter.Services() = qm::TIPThreadStarter::ForMonitor(monitor, steps, table);
    starter.Services().UpdateAddress = [&](const std::string&, const std::string&) { ++published; };
    monitor.SetLookups(&starter);
    double publishAll = 0;
    int round = 0;
    for (auto _ : state) {
      ++round;
      published = 0;
      w.StartClients(round);
      Clock::time_point start = Clock::now();
      const bool all = qm::test::SambaTestServer::WaitUntil(
          [&] {
            start = Clock::now();
            cycle.RefreshTimerTimer();
            steps.RunPending();
            return monitor.CurrentUserCount == kClients;
          },
          120s);
      if (!all) {
        state.SkipWithError("the clients did not all come up");
        break;
      }
      Clock::time_point nextTick = Clock::now() + 1s;
      while (published < kClients && Clock::now() - start < 120s) {
        steps.ServeFor([&] { return published >= kClients; }, 100ms);
        if (Clock::now() >= nextTick) {
          cycle.RefreshTimerTimer();
          nextTick = Clock::now() + 1s;
        }
      }
      const double took = std::chrono::duration<double>(Clock::now() - start).count();
      state.SetIterationTime(took);
      publishAll = std::max(publishAll, took * 1e3);
      w.StopClients();
      qm::test::SambaTestServer::WaitUntil(
          [&] {
            cycle.RefreshTimerTimer();
            return monitor.CurrentUserCount == 0;
          },
          60s);
    }
    state.counters["clients"] = kClients;
    state.counters["publish_all_ms"] = publishAll;
    state.counters["captures"] =
        static_cast<double>(table.CapturesStarted()) / static_cast<double>(state.iterations());
  }
}
BENCHMARK(BM_SambaCrowdArrives)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_SambaProgramStopWhileLookupsPending(benchmark::State& state) {
  World& w = TheWorld();
  if (!w.error.empty()) {
    state.SkipWithError(("real Samba is not available: " + w.error).c_str());
    return;
  }
  char pattern[] = "/tmp/qm-samba-stop-XXXXXX";
  const std::string folder = ::mkdtemp(pattern) ? pattern : "/tmp";
  {
    std::ofstream ini(folder + "/Quillmoor98.ini");
    ini << "[Options]\nCount=1000\nSiren=0\nIPC=0\nMaxNumber=0\nIdle=0\n";
  }
  w.StartClients(100);
  {
    // All of them connected before the program starts.
    qm::SambaServerBackend backend(w.server.BackendOptions());
    qm::ServerApi api(backend);
    qm::Settings settings;
    settings.IPC = false;
    api.LoadServerApi();
    qm::Monitor monitor(api, settings, qm::MonitorPorts{});
    qm::RefreshCycle cycle(monitor);
    qm::test::SambaTestServer::WaitUntil(
        [&] {
          cycle.RefreshTimerTimer();
          return monitor.CurrentUserCount == kClients;
        },
        120s);
    qm::ClearSeenFlags(monitor.Users);
    monitor.SweepUsers(true);
  }
  double slowest = 0;
  long users = 0, records = 0;
  for (auto _ : state) {
    std::filesystem::remove(folder + "/Tree.dat");
    const qm::bench::StopResult r = qm::bench::StopWhileLookupsPending(
        {"QUILLMOOR98_SERVER=samba", "QUILLMOOR98_SMB_CONF=" + w.server.ConfPath(),
         "QUILLMOOR98_SAMBA_ELEVATE=", "QUILLMOOR98_PROGRAM_DIR=" + folder,
         "QUILLMOOR98_SYSCONFDIR=" + folder, "XDG_RUNTIME_DIR=" + folder},
        kClients, 120s);
    if (!r.error.empty() || r.exitCode != 0) {
      state.SkipWithError((r.error.empty() ? "the program failed" : r.error).c_str());
      break;
    }
    state.SetIterationTime(r.seconds);
    slowest = std::max(slowest, r.seconds * 1e3);
    qm::bench::CountTreeRecords(folder + "/Tree.dat", users, records);
    if (users != r.firstTickUsers) {
      state.SkipWithError("Tree.dat does not hold every user");
      break;
    }
  }
  w.StopClients();
  state.counters["stop_ms"] = slowest;
  state.counters["stored_users"] = static_cast<double>(users);
  state.counters["stored_records"] = static_cast<double>(records);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}
BENCHMARK(BM_SambaProgramStopWhileLookupsPending)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
