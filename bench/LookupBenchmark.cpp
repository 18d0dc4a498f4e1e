// 200 users arrive in one tick on the simulated server, each with its own
// lookup thread running the real nbtstat tool, the real work files and
// the resolver. Measured: the time from the arrival tick until every
// address is published (iteration time, target under 3 s) and the slowest
// tick while the lookups run (target at most 20 ms), with ticks every
// 100 ms and the steps served between them, as the program's loop does.
// arrival_tick_ms is the tick that starts the 200 threads; the benchmark
// without lookups gives that tick's cost without them.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/Monitor.h"
#include "core/RefreshCycle.h"
#include "platform/AtomicFile.h"
#include "platform/sim/SimulatedServerBackend.h"
#include "resolve/TIPThreadStarter.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kUsers = 200;
constexpr auto kTickPeriod = 100ms;

std::string State(int round, int users) {
  // Appends only: GCC 12 warns falsely about chains of string additions.
  std::string connections, sessions;
  for (int i = 0; i < users; ++i) {
    std::string client = "R";
    client.append(std::to_string(round)).append("PC").append(std::to_string(i));
    if (i > 0) {
      connections.append(",");
      sessions.append(",");
    }
    connections.append(R"({"share": "DOCS", "client": ")")
        .append(client)
        .append(R"(", "user": "u"})");
    sessions.append(R"({"client": ")")
        .append(client)
        .append(R"(", "user": "u", "address": "127.0.0.1"})");
  }
  std::string state = R"({"shares": [{"name": "DOCS", "path": "/srv/docs"}], "connections": [)";
  state.append(connections).append(R"(], "sessions": [)").append(sessions).append("]}");
  return state;
}

struct World {
  World()
      : folder(MakeFolder()),
        statePath(folder + "/state.json"),
        starter(qm::LookupServices{}),
        table(folder, qm::NameTable::ToolBesideProgram()),
        backend((Write(statePath, State(0, 0)), statePath)),
        api(backend),
        monitor(api, settings, qm::MonitorPorts{}),
        cycle(monitor) {
    ::setenv("QUILLMOOR98_SERVER", ("sim:" + statePath).c_str(), 1);
    settings.Siren = false;
    settings.MaxNumber = 0;
    settings.Idle = 0;
    api.LoadServerApi();
    starter.Services() = qm::TIPThreadStarter::ForMonitor(monitor, steps, table);
    starter.Services().UpdateAddress = [this](const std::string&, const std::string& address) {
      ++published;
      if (address == "127.0.0.1") ++found;
    };
    monitor.SetLookups(&starter);
  }
  ~World() {
    Write(statePath, State(0, 0));
    cycle.RefreshTimerTimer();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  static std::string MakeFolder() {
    std::string pattern = "/tmp/qm-lookup-bench-XXXXXX";
    return ::mkdtemp(pattern.data()) ? pattern : std::string("/tmp");
  }
  static void Write(const std::string& path, const std::string& text) {
    std::string error;
    qm::WriteFileAtomically(path, text, error);
  }

  std::string folder;
  std::string statePath;
  qm::UiStepQueue steps;
  qm::TIPThreadStarter starter;
  qm::NameTable table;
  qm::Settings settings;
  qm::SimulatedServerBackend backend;
  qm::ServerApi api;
  qm::Monitor monitor;
  qm::RefreshCycle cycle;
  int published = 0;  // user-interface thread only
  int found = 0;
};

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void BM_TwoHundredUsersArrive(benchmark::State& state) {
  World w;
  if (!std::filesystem::exists(w.table.ToolPath())) {
    state.SkipWithError("quillmoor98-nbtstat is not built beside the benchmark");
    return;
  }
  int round = 0;
  double slowestTick = 0, slowestArrival = 0, slowestPublish = 0;
  int notFound = 0;
  for (auto _ : state) {
    ++round;
    w.published = w.found = 0;
    World::Write(w.statePath, State(round, kUsers));
    const Clock::time_point start = Clock::now();
    w.cycle.RefreshTimerTimer();
    Clock::time_point nextTick = Clock::now() + kTickPeriod;
    slowestArrival = std::max(slowestArrival, Milliseconds(Clock::now() - start));
    while (w.published < kUsers) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - Clock::now());
      w.steps.ServeFor([&] { return w.published >= kUsers; }, std::max(left, 0ms));
      if (w.published >= kUsers) break;
      if (Clock::now() >= nextTick) {
        const Clock::time_point t0 = Clock::now();
        w.cycle.RefreshTimerTimer();
        slowestTick = std::max(slowestTick, Milliseconds(Clock::now() - t0));
        nextTick = Clock::now() + kTickPeriod;
      }
      if (Clock::now() - start > 120s) {
        state.SkipWithError("the addresses were not published within two minutes");
        return;
      }
    }
    const Clock::duration took = Clock::now() - start;
    state.SetIterationTime(std::chrono::duration<double>(took).count());
    slowestPublish = std::max(slowestPublish, Milliseconds(took));
    notFound += kUsers - w.found;
    // They leave; the sweep ends the threads (their panel steps are served).
    World::Write(w.statePath, State(round, 0));
    w.cycle.RefreshTimerTimer();
  }
  state.counters["users"] = kUsers;
  state.counters["slowest_publish_ms"] = slowestPublish;
  state.counters["arrival_tick_ms"] = slowestArrival;
  state.counters["slowest_tick_ms"] = slowestTick;
  state.counters["not_found"] = notFound;
}
BENCHMARK(BM_TwoHundredUsersArrive)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// The same arrival tick with no lookup started: what the threads add to it.
void BM_TwoHundredUsersArriveWithoutLookups(benchmark::State& state) {
  World w;
  w.monitor.SetLookups(nullptr);
  int round = 0;
  for (auto _ : state) {
    ++round;
    World::Write(w.statePath, State(round, kUsers));
    const Clock::time_point start = Clock::now();
    w.cycle.RefreshTimerTimer();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    World::Write(w.statePath, State(round, 0));
    w.cycle.RefreshTimerTimer();
  }
}
BENCHMARK(BM_TwoHundredUsersArriveWithoutLookups)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
