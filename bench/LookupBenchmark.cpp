// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// A crowd on the simulated server: 2,000 users, each on 3 shares with 5
// open files, arrive in one tick, each with its own lookup thread. The
// monitor reads the in-memory server; the lookups share captures of the
// real nbtstat tool, which lists the same sessions from a simulated
// server's state file, and ask c-ares for host names (from the hosts file
// here, so no query leaves the computer). Measured, with ticks every 100
// ms and the steps served between them as the program's loop does:
//   publish_all_ms    arrival tick to the last address published (target 2 s)
//   arrival_tick_ms   the arrival tick itself, which starts the 2,000 threads
//   steady_tick_ms    a tick with the crowd present and no lookup running
//   slowest_tick_ms   the slowest tick while the lookups ran (target: steady + 20 ms)
//   leave_tick_ms     a tick in which 100 users with pending lookups leave,
//                     sweep included (target 50 ms)
//   settled_leave_tick_ms  the same with their lookups long ended: what a
//                     leave costs without lookups
//   release_ms        of the leave tick, the time the sweep spent letting
//                     the departing lookups go
//   crowd_captures    tool runs for one crowd, arrival to the last address
//   captures          tool runs per iteration (two crowds and their leaves)
// and, for the whole program (`quillmoor98 --console --step`), a stop right
// after the arrival tick, lookups pending (target: ended within 2 s, the
// history complete in Tree.dat). QM_BENCH_USERS sets another crowd size.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "BenchServer.h"
#include "ProgramStop.h"
#include "core/Monitor.h"
#include "core/RefreshCycle.h"
#include "os/AtomicFile.h"
#include "platform/sim/SimulatedServerBackend.h"
#include "resolve/TIPThreadStarter.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const int kUsers = std::getenv("QM_BENCH_USERS") ? std::atoi(std::getenv("QM_BENCH_USERS")) : 2000;
constexpr int kLeaving = 100;
constexpr auto kTickPeriod = 100ms;

std::string Client(int round, int i) {
  std::string client = "R";
  client.append(std::to_string(round)).append("PC").append(std::to_string(i));
  return client;
}

// The sessions of users first..last-1 of a round, as the tool reads them.
std::string SessionsState(int round, int first, int last) {
  // Appends only: GCC 12 warns falsely about chains of string additions.
  std::string state = R"({"sessions": [)";
  for (int i = first; i < last; ++i) {
    if (i > first) state.append(",");
    state.append(R"({"client": ")").append(Client(round, i));
    state.append(R"(", "user": "u", "address": "127.0.0.1"})");
  }
  return state.append("]}");
}

// The same users on three shares with five open files each.
qm::ServerTables Tables(int round, int first, int last) {
  qm::ServerTables t;
  qm::bench::AddShares(t);
  for (int i = first; i < last; ++i) qm::bench::AddClient(t, Client(round, i));
  return t;
}

// The whole state file of those users: shares, connections, sessions and,
// when asked, files.
std::string FullState(int round, int first, int last, bool files) {
  nlohmann::json state;
  const qm::ServerTables t = Tables(round, first, last);
  for (const auto& s : t.shares) state["shares"].push_back({{"name", s.name}, {"path", s.path}});
  for (const auto& c : t.connections) {
    state["connections"].push_back({{"share", c.share}, {"client", c.client}, {"user", c.user}});
  }
  for (const auto& f : files ? t.files : std::vector<qm::ServerTables::OpenFile>{}) {
    state["files"].push_back(
        {{"share", f.share}, {"client", f.client}, {"user", f.user}, {"path", f.path}});
  }
  for (const auto& s : t.sessions) {
    state["sessions"].push_back({{"client", s.client}, {"user", s.user}, {"address", s.address}});
  }
  return state.dump();
}

std::string MakeFolder() {
  std::string pattern = "/tmp/qm-lookup-bench-XXXXXX";
  return ::mkdtemp(pattern.data()) ? pattern : std::string("/tmp");
}

void Write(const std::string& path, const std::string& text) {
  std::string error;
  qm::WriteFileAtomically(path, text, error);
}

qm::ReverseResolver::Options HostsFileOnly() {
  qm::ReverseResolver::Options o;
  o.lookups = "f";
  return o;
}

// The program's starter, its release timed.
class TimedStarter final : public qm::LookupStarter {
 public:
  explicit TimedStarter(qm::TIPThreadStarter& starter) : starter_(starter) {}
  std::unique_ptr<qm::LookupThread> StartLookup(qm::TUser& user) override {
    return starter_.StartLookup(user);
  }
  void Release(std::vector<std::unique_ptr<qm::LookupThread>> threads) override {
    const Clock::time_point t0 = Clock::now();
    starter_.Release(std::move(threads));
    lastRelease = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  }
  void JoinReleased() override { starter_.JoinReleased(); }

  double lastRelease = 0;

 private:
  qm::TIPThreadStarter& starter_;
};

struct World {
  World()
      : folder(MakeFolder()),
        statePath(folder + "/state.json"),
        starter(qm::LookupServices{}),
        timed(starter),
        table(qm::NameTable::ToolBesideProgram(), HostsFileOnly()),
        cycle(m.monitor) {
    ::setenv("QUILLMOOR98_SERVER", ("sim:" + statePath).c_str(), 1);
    Set(0, 0, 0);
    starter.Services() = qm::TIPThreadStarter::ForMonitor(m.monitor, steps, table);
    starter.Services().UpdateAddress = [this](const std::string&, const std::string& address) {
      ++published;
      if (address == "127.0.0.1") ++found;
    };
    m.monitor.SetLookups(&timed);
  }
  ~World() {
    Set(0, 0, 0);
    cycle.RefreshTimerTimer();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  void Set(int round, int first, int last) {
    Write(statePath, SessionsState(round, first, last));
    m.backend.tables = Tables(round, first, last);
  }

  // A tick, timed in milliseconds.
  double Tick() {
    const Clock::time_point t0 = Clock::now();
    cycle.RefreshTimerTimer();
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  }
  // Ticks every kTickPeriod and serves steps between them until `count`
  // addresses are published; the slowest tick meanwhile. False after 2 min.
  bool ServeUntilPublished(int count, double& slowestTick) {
    const Clock::time_point start = Clock::now();
    Clock::time_point nextTick = Clock::now() + kTickPeriod;
    while (published < count) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - Clock::now());
      steps.ServeFor([&] { return published >= count; }, std::max(left, 0ms));
      if (published >= count) break;
      if (Clock::now() >= nextTick) {
        slowestTick = std::max(slowestTick, Tick());
        nextTick = Clock::now() + kTickPeriod;
      }
      if (Clock::now() - start > 120s) return false;
    }
    return true;
  }

  std::string folder;
  std::string statePath;
  qm::UiStepQueue steps;
  qm::TIPThreadStarter starter;
  TimedStarter timed;
  qm::NameTable table;
  qm::bench::MemoryMonitor m;
  qm::RefreshCycle cycle;
  int published = 0;  // user-interface thread only
  int found = 0;
};

void BM_CrowdArrivesInOneTick(benchmark::State& state) {
  World w;
  if (!std::filesystem::exists(w.table.ToolPath())) {
    state.SkipWithError("quillmoor98-nbtstat is not built beside the benchmark");
    return;
  }
  int round = 0;
  double publishAll = 0, arrivalTick = 0, steadyTick = 0, slowestTick = 0, leaveTick = 0;
  double settledLeaveTick = 0, release = 0, crowdCaptures = 0;
  int notFound = 0;
  for (auto _ : state) {
    // The crowd arrives and is looked up.
    ++round;
    w.published = w.found = 0;
    w.Set(round, 0, kUsers);
    const std::uint64_t capturesBefore = w.table.CapturesStarted();
    const Clock::time_point start = Clock::now();
    arrivalTick = std::max(arrivalTick, w.Tick());
    if (!w.ServeUntilPublished(kUsers, slowestTick)) {
      state.SkipWithError("the addresses were not published within two minutes");
      return;
    }
    const Clock::duration took = Clock::now() - start;
    crowdCaptures =
        std::max(crowdCaptures, static_cast<double>(w.table.CapturesStarted() - capturesBefore));
    state.SetIterationTime(std::chrono::duration<double>(took).count());
    publishAll = std::max(publishAll, std::chrono::duration<double, std::milli>(took).count());
    notFound += kUsers - w.found;
    steadyTick = std::max(steadyTick, w.Tick());
    // 100 leave long after their lookups ended.
    w.Set(round, kLeaving, kUsers);
    settledLeaveTick = std::max(settledLeaveTick, w.Tick());

    // A new crowd arrives; 100 of them leave in the next tick, their
    // lookups still pending.
    ++round;
    w.published = w.found = 0;
    w.Set(round, 0, kUsers);
    w.Tick();
    w.Set(round, kLeaving, kUsers);
    leaveTick = std::max(leaveTick, w.Tick());
    release = std::max(release, w.timed.lastRelease);
    if (w.m.monitor.CurrentUserCount != kUsers - kLeaving) state.SkipWithError("users were lost");
    // Only what the departing lookups published in the sweep has been
    // published yet: the others' steps wait for the loop.
    w.published = 0;
    w.ServeUntilPublished(kUsers - kLeaving, slowestTick);
    w.Set(round, 0, 0);
    w.Tick();
  }
  state.counters["users"] = kUsers;
  state.counters["publish_all_ms"] = publishAll;
  state.counters["arrival_tick_ms"] = arrivalTick;
  state.counters["steady_tick_ms"] = steadyTick;
  state.counters["slowest_tick_ms"] = slowestTick;
  state.counters["leave_tick_ms"] = leaveTick;
  state.counters["settled_leave_tick_ms"] = settledLeaveTick;
  state.counters["release_ms"] = release;
  state.counters["crowd_captures"] = crowdCaptures;
  state.counters["captures"] =
      static_cast<double>(w.table.CapturesStarted()) / static_cast<double>(state.iterations());
  state.counters["not_found"] = notFound;
}
BENCHMARK(BM_CrowdArrivesInOneTick)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

// The whole program: the crowd is there at start-up; the input ends right
// after the first tick, every lookup still pending. The users hold no open
// files here: the simulated server's own reading of 30,000 open files
// would cost the program minutes per tick and gigabytes.
void BM_ProgramStopWhileCrowdLookupsPending(benchmark::State& state) {
  const std::string folder = MakeFolder();
  Write(folder + "/state.json", FullState(1, 0, kUsers, false));
  // The most history the settings allow: 1,000 users with their shares and
  // files.
  {
    std::ofstream ini(folder + "/Quillmoor98.ini");
    ini << "[Options]\nCount=1000\nSiren=0\nMaxNumber=0\nIdle=0\n";
  }
  double slowest = 0;
  long users = 0, records = 0;
  for (auto _ : state) {
    std::filesystem::remove(folder + "/Tree.dat");
    const qm::bench::StopResult r = qm::bench::StopWhileLookupsPending(
        {"QUILLMOOR98_SERVER=sim:" + folder + "/state.json", "QUILLMOOR98_PROGRAM_DIR=" + folder,
         "QUILLMOOR98_SYSCONFDIR=" + folder, "XDG_RUNTIME_DIR=" + folder},
        kUsers, 120s);
    if (!r.error.empty() || r.exitCode != 0) {
      state.SkipWithError((r.error.empty() ? "the program failed" : r.error).c_str());
      break;
    }
    state.SetIterationTime(r.seconds);
    slowest = std::max(slowest, r.seconds * 1e3);
    qm::bench::CountTreeRecords(folder + "/Tree.dat", users, records);
    const long kept = std::min(kUsers, 1000);
    if (r.firstTickUsers != kUsers || users != kept ||
        records != kept * (1 + qm::bench::kSharesPerUser)) {
      state.SkipWithError(("Tree.dat holds " + std::to_string(users) + " users, " +
                           std::to_string(records) + " records")
                              .c_str());
      break;
    }
  }
  state.counters["stop_ms"] = slowest;
  state.counters["stored_users"] = static_cast<double>(users);
  state.counters["stored_records"] = static_cast<double>(records);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}
BENCHMARK(BM_ProgramStopWhileCrowdLookupsPending)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
