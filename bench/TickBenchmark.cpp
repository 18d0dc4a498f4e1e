// One tick of the refresh cycle over an in-memory server with U users x 3
// shares x 5 open files: the steady state, and with 10% of the users
// replaced at every tick.
#include <benchmark/benchmark.h>

#include <string>

#include "core/Monitor.h"
#include "core/RefreshCycle.h"
#include "platform/InMemoryServerBackend.h"

namespace {

constexpr int kSharesPerUser = 3;
constexpr int kFilesPerShare = 5;

void AddClient(qm::ServerTables& t, const std::string& client) {
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

struct World {
  explicit World(int users) : api(backend), monitor(api, settings, Ports()), cycle(monitor) {
    settings.Siren = false;
    settings.MaxNumber = 0;
    settings.Idle = 0;
    for (int s = 0; s < kSharesPerUser; ++s) {
      backend.tables.shares.push_back(
          {"SHARE" + std::to_string(s), "/srv/share" + std::to_string(s), 0});
    }
    for (int u = 0; u < users; ++u) AddClient(backend.tables, "PC" + std::to_string(u));
    api.LoadServerApi();
    cycle.RefreshTimerTimer();
  }
  qm::MonitorPorts Ports() {
    qm::MonitorPorts p;
    p.clock = &clock;
    return p;
  }
  qm::ManualClock clock;
  qm::Settings settings;
  qm::InMemoryServerBackend backend;
  qm::ServerApi api;
  qm::Monitor monitor;
  qm::RefreshCycle cycle;
};

void BM_TickSteady(benchmark::State& state) {
  World w(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    w.clock.AdvanceSeconds(1);
    w.cycle.RefreshTimerTimer();
  }
  state.counters["users"] = w.monitor.CurrentUserCount;
  state.counters["files"] = w.monitor.OpenFileCount;
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
    auto& t = w.backend.tables;
    for (int i = 0; i < churn; ++i) qm::RemoveClient(t, t.sessions.front().client, nullptr);
    for (int i = 0; i < churn; ++i) AddClient(t, "PC" + std::to_string(next++));
    w.clock.AdvanceSeconds(1);
    state.ResumeTiming();
    w.cycle.RefreshTimerTimer();
  }
  state.counters["users"] = w.monitor.CurrentUserCount;
  state.counters["former"] = w.monitor.FormerUserCount;
}
BENCHMARK(BM_TickTenPercentReplaced)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
