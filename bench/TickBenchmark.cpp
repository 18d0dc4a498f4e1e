// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// One tick of the refresh cycle over an in-memory server with U users x 3
// shares x 5 open files: the steady state, and with 10% of the users
// replaced at every tick.
#include <benchmark/benchmark.h>

#include <string>

#include "BenchServer.h"
#include "core/RefreshCycle.h"

namespace {

struct World {
  explicit World(int users) : cycle(m.monitor) {
    qm::bench::AddShares(m.backend.tables);
    for (int u = 0; u < users; ++u)
      qm::bench::AddClient(m.backend.tables, "PC" + std::to_string(u));
    cycle.RefreshTimerTimer();
  }
  qm::bench::MemoryMonitor m;
  qm::RefreshCycle cycle;
};

void BM_TickSteady(benchmark::State& state) {
  World w(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    w.m.clock.AdvanceSeconds(1);
    w.cycle.RefreshTimerTimer();
  }
  state.counters["users"] = w.m.monitor.CurrentUserCount;
  state.counters["files"] = w.m.monitor.OpenFileCount;
}
BENCHMARK(BM_TickSteady)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

void BM_TickTenPercentReplaced(benchmark::State& state) {
  const int users = static_cast<int>(state.range(0));
  World w(users);
  int next = users;
  const int churn = users / 10;
  for (auto _ : state) {
    state.PauseTiming();
    // The oldest tenth leaves, as many new clients arrive.
    auto& t = w.m.backend.tables;
    for (int i = 0; i < churn; ++i) qm::RemoveClient(t, t.sessions.front().client, "", nullptr);
    for (int i = 0; i < churn; ++i) qm::bench::AddClient(t, "PC" + std::to_string(next++));
    w.m.clock.AdvanceSeconds(1);
    state.ResumeTiming();
    w.cycle.RefreshTimerTimer();
  }
  state.counters["users"] = w.m.monitor.CurrentUserCount;
  state.counters["former"] = w.m.monitor.FormerUserCount;
}
BENCHMARK(BM_TickTenPercentReplaced)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
