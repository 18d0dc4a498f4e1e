// One tick of the refresh cycle on a real, private smbd with 20, 100 and
// 200 connected smbclient clients (some holding a file open, some on the
// print queue): a tick that reads Samba's state itself against a bare
// `smbstatus --json` run measured alternately in the same loop, and the
// time a tick takes on the user-interface thread when the readings are
// taken ahead on a worker. Needs root, like the integration tests.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "core/Monitor.h"
#include "core/RefreshCycle.h"
#include "core/ServerApi.h"
#include "integration/SambaTestServer.h"
#include "platform/samba/SambaServerBackend.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The least a program can do to get smbstatus's answer: spawn, read, reap.
bool BareSmbstatus(const std::string& conf) {
  int out[2];
  if (::pipe(out) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::string configfile = "--configfile=" + conf;
  char* argv[] = {const_cast<char*>("smbstatus"), const_cast<char*>("--json"), configfile.data(),
                  nullptr};
  pid_t pid;
  const int rc = posix_spawnp(&pid, "smbstatus", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  std::string text;
  char buffer[65536];
  for (ssize_t n; rc == 0 && (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  if (rc == 0) ::waitpid(pid, &status, 0);
  return rc == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 && !text.empty();
}

struct World {
  qm::test::SambaTestServer server;
  std::unique_ptr<qm::SambaServerBackend> backend;
  std::unique_ptr<qm::ServerApi> api;
  qm::Settings settings;
  std::unique_ptr<qm::Monitor> monitor;
  std::unique_ptr<qm::RefreshCycle> cycle;
  std::string error;
  int clients = 0;

  World() {
    error = qm::test::SambaTestServer::Unavailable();
    if (error.empty()) server.Start(error);
  }

  // At least count clients connected (the world only grows), and a monitor
  // over a backend that reads ahead or not that shows them all.
  bool Prepare(int count, bool readAhead) {
    if (!error.empty()) return false;
    for (; clients < count; ++clients) {
      const bool printer = clients % 5 == 4;
      server.StartClient("BENCH" + std::to_string(clients),
                         printer ? server.PrintShare() : server.DiskShare(),
                         !printer && clients % 2 == 0);
    }
    cycle.reset();
    monitor.reset();
    api.reset();
    qm::SambaServerBackend::Options options = server.BackendOptions();
    options.readAhead = readAhead;
    backend = std::make_unique<qm::SambaServerBackend>(options);
    api = std::make_unique<qm::ServerApi>(*backend);
    if (api->LoadServerApi() != 0) {
      error = api->LoadError();
      return false;
    }
    settings.Siren = false;
    settings.Idle = 0;
    settings.MaxNumber = 0;
    monitor = std::make_unique<qm::Monitor>(*api, settings, qm::MonitorPorts{});
    cycle = std::make_unique<qm::RefreshCycle>(*monitor);
    const bool all = qm::test::SambaTestServer::WaitUntil(
        [&] {
          cycle->RefreshTimerTimer();
          return monitor->CurrentUserCount == clients;
        },
        std::chrono::seconds(90));
    if (!all) {
      error = "only " + std::to_string(monitor->CurrentUserCount) + " of " +
              std::to_string(clients) + " clients came up";
    }
    return all;
  }
};

World& TheWorld() {
  static World world;
  return world;
}

void BM_TickVersusBareSmbstatus(benchmark::State& state) {
  World& w = TheWorld();
  const int count = static_cast<int>(state.range(0));
  if (!w.Prepare(count, false)) {
    state.SkipWithError(("real Samba is not available: " + w.error).c_str());
    return;
  }
  double bareSeconds = 0, tickSeconds = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    if (!BareSmbstatus(w.server.ConfPath())) {
      state.SkipWithError("smbstatus failed");
      return;
    }
    auto t1 = Clock::now();
    w.cycle->RefreshTimerTimer();
    auto t2 = Clock::now();
    const double bare = std::chrono::duration<double>(t1 - t0).count();
    const double tick = std::chrono::duration<double>(t2 - t1).count();
    bareSeconds += bare;
    tickSeconds += tick;
    state.SetIterationTime(tick);
  }
  if (w.monitor->CurrentUserCount != w.clients) state.SkipWithError("clients were lost");
  const double n = static_cast<double>(state.iterations());
  state.counters["smbstatus_ms"] = bareSeconds / n * 1e3;
  state.counters["tick_ms"] = tickSeconds / n * 1e3;
  state.counters["tick_per_smbstatus"] = tickSeconds / bareSeconds;
  state.counters["users"] = w.monitor->CurrentUserCount;
  state.counters["open_files"] = w.monitor->OpenFileCount;
}
BENCHMARK(BM_TickVersusBareSmbstatus)
    ->Arg(20)
    ->Arg(100)
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(5);

// The user-interface thread's share of a tick when a worker reads ahead:
// ticks a refresh period apart, as the timer runs them.
void BM_UserInterfaceThreadTick(benchmark::State& state) {
  World& w = TheWorld();
  const int count = static_cast<int>(state.range(0));
  if (!w.Prepare(count, true)) {
    state.SkipWithError(("real Samba is not available: " + w.error).c_str());
    return;
  }
  double worst = 0;
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    auto t0 = Clock::now();
    w.cycle->RefreshTimerTimer();
    const double tick = std::chrono::duration<double>(Clock::now() - t0).count();
    worst = std::max(worst, tick);
    state.SetIterationTime(tick);
  }
  if (w.monitor->CurrentUserCount != w.clients) state.SkipWithError("clients were lost");
  state.counters["worst_ms"] = worst * 1e3;
  state.counters["users"] = w.monitor->CurrentUserCount;
}
BENCHMARK(BM_UserInterfaceThreadTick)
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
