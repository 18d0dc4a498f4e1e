// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The metrics endpoint at 2,000 users x 3 shares x 5 open files: one
// scrape over loopback (target: within 5 ms), the snapshot a tick makes,
// and a tick while 50 scrapers hammer the endpoint (target: at most 10%
// slower than alone; compare BM_TickWhileScraped/0 with /50).
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchServer.h"
#include "core/RefreshCycle.h"
#include "observe/LoopbackHttp.h"
#include "observe/MetricsRecorder.h"
#include "observe/MetricsServer.h"
#include "observe/PrometheusText.h"

namespace {

constexpr int kUsers = 2000;

struct World {
  explicit World(bool clientInfo = false)
      : recorder(Options(clientInfo)),
        server([this] { return qm::PrometheusText::Render(*recorder.Snapshot()); },
               qm::MetricsServer::Limits{}) {
    qm::bench::AddShares(m.backend.tables);
    for (int u = 0; u < kUsers; ++u)
      qm::bench::AddClient(m.backend.tables, "PC" + std::to_string(u));
    m.monitor.SetTelemetry(&events);
    m.monitor.TreeViewCurrent.AddObserver(&events);
    cycle.RefreshTimerTimer();
    qm::ListenAddress where;
    where.port = 0;
    std::string error;
    if (!server.Start(where, error)) throw std::runtime_error(error);
  }
  ~World() {
    server.Stop();
    m.monitor.TreeViewCurrent.RemoveObserver(&events);
  }
  static qm::MetricsRecorder::Options Options(bool clientInfo) {
    qm::MetricsRecorder::Options o;
    o.clientInfo = clientInfo;
    return o;
  }

  qm::bench::MemoryMonitor m;
  qm::RefreshCycle cycle{m.monitor};
  qm::MetricsRecorder recorder;
  qm::MetricsServer server;
  qm::EventStream events;
  qm::Subscription subscription = events.Subscribe(recorder);
};

// A whole scrape as Prometheus makes it: connect, request, read to the end.
void BM_Scrape(benchmark::State& state) {
  World w(state.range(0) != 0);
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string response = qm::test::Get(w.server.Port(), "/metrics");
    if (response.find(" 200 ") == std::string::npos) state.SkipWithError("no 200");
    bytes = response.size();
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
// 0: the default labels; 1: with an info metric per client.
BENCHMARK(BM_Scrape)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// What the tick adds to itself: the snapshot.
void BM_SnapshotAtTick(benchmark::State& state) {
  World w;
  for (auto _ : state) w.recorder.TickFinished(w.m.monitor, 0.001);
}
BENCHMARK(BM_SnapshotAtTick)->Unit(benchmark::kMicrosecond);

// A steady tick while N scrapers scrape at once: every scraper sends one
// scrape as the tick starts, the worst alignment of a fleet's Prometheus
// servers. Real time shows what the tick waits for; CPU time what it does.
void BM_TickWhileScraped(benchmark::State& state) {
  World w;
  std::mutex mutex;
  std::condition_variable wake;
  long generation = 0;
  bool stop = false;
  std::atomic<long> scrapes{0};
  std::vector<std::thread> scrapers;
  for (int i = 0; i < state.range(0); ++i) {
    scrapers.emplace_back([&] {
      long seen = 0;
      for (;;) {
        {
          std::unique_lock<std::mutex> lock(mutex);
          wake.wait(lock, [&] { return stop || generation != seen; });
          if (stop) return;
          seen = generation;
        }
        if (qm::test::Get(w.server.Port(), "/metrics").find(" 200 ") != std::string::npos) {
          ++scrapes;
        }
      }
    });
  }
  for (auto _ : state) {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      ++generation;
    }
    wake.notify_all();
    w.m.clock.AdvanceSeconds(1);
    w.cycle.RefreshTimerTimer();
  }
  {
    const std::lock_guard<std::mutex> lock(mutex);
    stop = true;
  }
  wake.notify_all();
  for (auto& t : scrapers) t.join();
  state.counters["scrapes"] = static_cast<double>(scrapes.load());
}
BENCHMARK(BM_TickWhileScraped)->Arg(0)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
