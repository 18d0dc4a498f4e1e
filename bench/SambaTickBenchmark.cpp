// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// Ticks of the refresh cycle on a real, private smbd with up to 200
// connected smbclient clients (some holding a file open, some on the print
// queue): a tick that reads Samba's state itself against a bare
// `smbstatus --json` run measured alternately in the same loop; the time
// from a client's connection to the tick that shows it (its event line),
// with the program's schedule at Refresh 1 and 5; and the monitor thread's
// time per tick while the rules disconnect. Needs root, like the
// integration tests.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/Monitor.h"
#include "core/RefreshCycle.h"
#include "core/ServerApi.h"
#include "enforce/EnforcementRules.h"
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

// What the monitor reports: the duration of the last reading of Samba's
// state, and the disconnections.
struct Readings final : qm::Telemetry {
  void ServerReading(bool /*ok*/, double seconds) override { last = seconds; }
  void Disconnecting(const qm::TUser& /*user*/, qm::DisconnectRule /*rule*/) override {
    ++disconnections;
  }
  std::atomic<double> last{0};
  int disconnections = 0;
};

struct World {
  qm::test::SambaTestServer server;
  std::unique_ptr<qm::SambaServerBackend> backend;
  std::unique_ptr<qm::ServerApi> api;
  qm::Settings settings;
  Readings readings;
  std::unique_ptr<qm::Monitor> monitor;
  std::unique_ptr<qm::EnforcementRules> rules;
  std::unique_ptr<qm::RefreshCycle> cycle;
  std::string error;
  int clients = 0;

  World() {
    error = qm::test::SambaTestServer::Unavailable();
    if (error.empty()) server.Start(error);
  }

  // At least count clients connected (the world only grows), and a monitor
  // over a backend that reads ahead or not that shows them all.
  bool Prepare(int count, bool readAhead = true) {
    if (!error.empty()) return false;
    for (; clients < count; ++clients) {
      const bool printer = clients % 5 == 4;
      server.StartClient("BENCH" + std::to_string(clients),
                         printer ? server.PrintShare() : server.DiskShare(),
                         !printer && clients % 2 == 0);
    }
    cycle.reset();
    rules.reset();
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
    qm::MonitorPorts ports;
    ports.telemetry = &readings;
    monitor = std::make_unique<qm::Monitor>(*api, settings, ports);
    rules = std::make_unique<qm::EnforcementRules>(*monitor, nullptr);
    monitor->SetRules(rules.get());
    cycle = std::make_unique<qm::RefreshCycle>(*monitor);
    const bool all = qm::test::SambaTestServer::WaitUntil(
        [&] {
          qm::test::SambaTestServer::Tick(*cycle);
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

// The console's loop in small, on the benchmark's thread: a tick is due
// every period; it starts its reading and is applied when the reading's
// wake-up comes. apply is told when the tick was due and how long the
// monitor thread spent on it; true ends the run.
class TickLoop {
 public:
  TickLoop(World& w, std::chrono::milliseconds period) : w_(w), period_(period) {
    w_.api->SetReadingWakeUp([this] {
      std::lock_guard lock(mutex_);
      woken_ = true;
      wake_.notify_all();
    });
  }
  ~TickLoop() { w_.api->SetReadingWakeUp(nullptr); }

  // The processor time the calling thread has used.
  static double ThreadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  }

  // The processor time of the last applied tick on the monitor thread.
  double lastCpu = 0;

  bool RunUntil(const std::function<bool(Clock::time_point due, double monitorSeconds)>& applied,
                Clock::time_point limit) {
    for (;;) {
      const auto now = Clock::now();
      if (now >= limit) return false;
      if (!waiting_ && now >= next_) {
        due_ = now;
        next_ = now + period_;
        const double cpu = ThreadCpuSeconds();
        waiting_ = w_.cycle->TickDue();
        dueSpent_ = std::chrono::duration<double>(Clock::now() - now).count();
        dueCpu_ = ThreadCpuSeconds() - cpu;
      }
      if (waiting_ ? w_.cycle->ReadingComplete() : due_ == now) {
        const auto t0 = Clock::now();
        const double cpu = ThreadCpuSeconds();
        w_.cycle->RefreshTimerTimer();
        waiting_ = false;
        lastCpu = dueCpu_ + ThreadCpuSeconds() - cpu;
        const double spent = dueSpent_ + std::chrono::duration<double>(Clock::now() - t0).count();
        if (applied(due_, spent)) return true;
      }
      std::unique_lock lock(mutex_);
      wake_.wait_until(lock, std::min(next_, limit), [&] { return woken_; });
      woken_ = false;
    }
  }

 private:
  World& w_;
  std::chrono::milliseconds period_;
  Clock::time_point next_{}, due_{};
  double dueSpent_ = 0, dueCpu_ = 0;
  bool waiting_ = false;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
};

// From a client's connection (smbclient started) to the end of the tick
// that shows it, which writes its event line, at Refresh 1 and 5 among the
// clients connected before. due_to_event_ms counts from the moment that tick was due;
// beyond_reading_ms is what it takes beyond that tick's own reading.
void BM_ConnectionToEventLine(benchmark::State& state) {
  World& w = TheWorld();
  if (!w.Prepare(20)) {
    state.SkipWithError(("real Samba is not available: " + w.error).c_str());
    return;
  }
  TickLoop loop(w, std::chrono::seconds(state.range(0)));
  double total = 0, afterDue = 0, reading = 0, beyond = 0, worstBeyond = 0;
  int n = 0;
  for (auto _ : state) {
    // Samba reports the name a client sent in lower case.
    const std::string name = "late" + std::to_string(w.clients++);
    const auto connected = Clock::now();
    w.server.StartClient(name, w.server.DiskShare(), false);
    double seen = -1, fromDue = 0;
    const bool shown = loop.RunUntil(
        [&](Clock::time_point due, double) {
          if (!qm::FindNode(w.monitor->TreeViewCurrent, nullptr, name)) return false;
          const auto now = Clock::now();
          seen = std::chrono::duration<double>(now - connected).count();
          fromDue = std::chrono::duration<double>(now - due).count();
          return true;
        },
        Clock::now() + std::chrono::seconds(60));
    if (!shown) {
      state.SkipWithError("the client was not shown within a minute");
      return;
    }
    state.SetIterationTime(seen);
    total += seen;
    afterDue += fromDue;
    reading += w.readings.last;
    beyond += fromDue - w.readings.last;
    worstBeyond = std::max(worstBeyond, fromDue - w.readings.last);
    ++n;
  }
  state.counters["connect_to_event_ms"] = total / n * 1e3;
  state.counters["due_to_event_ms"] = afterDue / n * 1e3;
  state.counters["reading_ms"] = reading / n * 1e3;
  state.counters["beyond_reading_ms"] = beyond / n * 1e3;
  state.counters["worst_beyond_reading_ms"] = worstBeyond * 1e3;
  state.counters["users"] = w.monitor->CurrentUserCount;
}
BENCHMARK(BM_ConnectionToEventLine)
    ->ArgName("refresh_s")
    ->Arg(1)
    ->Arg(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6);

// The monitor thread's time per tick (starting the tick's reading, then
// applying it) with 200 clients while the maximum-users rule disconnects
// one client a tick, as the program runs ticks at Refresh 1.
void BM_MonitorThreadTickWhileRulesDisconnect(benchmark::State& state) {
  World& w = TheWorld();
  const int count = static_cast<int>(state.range(0));
  if (!w.Prepare(count)) {
    state.SkipWithError(("real Samba is not available: " + w.error).c_str());
    return;
  }
  w.settings.MaxNumber = count - 40;
  const int before = w.readings.disconnections;
  TickLoop loop(w, std::chrono::seconds(1));
  double worst = 0, sum = 0, cpuSum = 0, cpuWorst = 0;
  std::vector<double> spentAll;
  for (auto _ : state) {
    double spent = 0;
    loop.RunUntil(
        [&](Clock::time_point, double seconds) {
          spent = seconds;
          return true;
        },
        Clock::now() + std::chrono::seconds(30));
    worst = std::max(worst, spent);
    sum += spent;
    spentAll.push_back(spent);
    cpuSum += loop.lastCpu;
    cpuWorst = std::max(cpuWorst, loop.lastCpu);
    state.SetIterationTime(spent);
  }
  w.settings.MaxNumber = 0;
  std::sort(spentAll.begin(), spentAll.end());
  state.counters["median_ms"] = spentAll[spentAll.size() / 2] * 1e3;
  state.counters["p90_ms"] = spentAll[spentAll.size() * 9 / 10] * 1e3;
  // The same in processor time, which a crowded machine's scheduling
  // leaves out.
  state.counters["cpu_mean_ms"] = cpuSum / static_cast<double>(state.iterations()) * 1e3;
  state.counters["cpu_worst_ms"] = cpuWorst * 1e3;
  state.counters["mean_ms"] = sum / static_cast<double>(state.iterations()) * 1e3;
  state.counters["worst_ms"] = worst * 1e3;
  state.counters["disconnections"] = w.readings.disconnections - before;
  state.counters["users_left"] = w.monitor->CurrentUserCount;
}
BENCHMARK(BM_MonitorThreadTickWhileRulesDisconnect)
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);

}  // namespace

BENCHMARK_MAIN();
