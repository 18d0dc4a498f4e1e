// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// 100 000 open files in a few sessions over an in-memory server: the
// monitor's memory per open file (both trees, the records, the indexes;
// the server's own tables left out) and the time of a tick over them.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <string>

#include "BenchServer.h"
#include "core/RefreshCycle.h"

namespace {

constexpr int kOpens = 100000;

std::size_t HeapInUse() {
  return mallinfo2().uordblks;
}

struct World {
  explicit World(int sessions) : cycle(m.monitor) {
    qm::bench::AddShares(m.backend.tables);
    auto& t = m.backend.tables;
    for (int c = 0; c < sessions; ++c) {
      const std::string client = "PC" + std::to_string(c);
      t.connections.push_back({"SHARE0", client, "user-" + client});
      t.sessions.push_back({client, "user-" + client, 0, "127.0.0.1"});
      for (int f = c; f < kOpens; f += sessions) {
        t.files.push_back({"SHARE0", client, "user-" + client,
                           "/srv/share0/" + client + "/folder" + std::to_string(f % 97) +
                               "/document" + std::to_string(f) + ".odt"});
      }
    }
    const std::size_t before = HeapInUse();
    cycle.RefreshTimerTimer();
    bytesPerFile = static_cast<double>(HeapInUse() - before) / kOpens;
  }
  qm::bench::MemoryMonitor m;
  qm::RefreshCycle cycle;
  double bytesPerFile = 0;
};

void BM_TickOverMassOpens(benchmark::State& state) {
  World w(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    w.m.clock.AdvanceSeconds(1);
    w.cycle.RefreshTimerTimer();
  }
  state.counters["files"] = w.m.monitor.OpenFileCount;
  state.counters["bytes_per_open_file"] = w.bytesPerFile;
}
BENCHMARK(BM_TickOverMassOpens)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
