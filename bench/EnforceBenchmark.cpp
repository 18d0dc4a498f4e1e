// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The disconnect rules' cost per tick: KickListIdle with 2,000 current
// users against a Disconnect List of 10,000 entries (every rule on, nobody
// chosen, so every pass looks at every user), and the program watch over
// this machine's real process list.
#include <benchmark/benchmark.h>

#include <string>

#include "BenchServer.h"
#include "core/RefreshCycle.h"
#include "enforce/DisconnectListFile.h"
#include "enforce/EnforcementRules.h"
#include "platform/ProcProcessList.h"

namespace {

std::string Address(int i) {
  return "10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) + "." +
         std::to_string(i % 256);
}

struct World {
  World(int users, int listed) : cycle(m.monitor) {
    qm::Settings& settings = m.settings;
    settings.Idle = 10;
    settings.IPFilter = true;
    settings.IPFilterString = "192.168";
    auto& tables = m.backend.tables;
    tables.shares.push_back({"DATA", "/srv/data", 0});
    for (int u = 0; u < users; ++u) {
      const std::string client = "PC" + std::to_string(u);
      tables.connections.push_back({"DATA", client, "user"});
      tables.sessions.push_back({client, "user", 0, ""});
    }
    cycle.RefreshTimerTimer();
    for (qm::UserEntry& e : m.monitor.Users) {
      e.User()->IPAddress = "192.168." + e.Name.substr(2) + ".1";
    }
    // Listed computers that are not connected, half with an address.
    for (int i = 0; i < listed; ++i) {
      rules.List().AddEntry("LISTED" + std::to_string(i),
                            i % 2 ? Address(i) : std::string(qm::kIDontKnow));
    }
    rules.Status().SetWhoToKick(qm::KickList);
    m.monitor.SetRules(&rules);
  }
  qm::bench::MemoryMonitor m;
  qm::RefreshCycle cycle;
  qm::EnforcementRules rules{m.monitor, nullptr};
};

void BM_KickListIdle(benchmark::State& state) {
  World w(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) w.rules.KickListIdle();
  if (!w.m.backend.tables.sessions.empty() &&
      static_cast<int>(w.m.backend.tables.sessions.size()) != state.range(0)) {
    state.SkipWithError("a user was disconnected");
  }
  state.counters["users"] = static_cast<double>(state.range(0));
  state.counters["listed"] = static_cast<double>(state.range(1));
}
BENCHMARK(BM_KickListIdle)
    ->Args({2000, 10000})
    ->Args({2000, 0})
    ->Args({200, 1000})
    ->Unit(benchmark::kMillisecond);

void BM_DisconnectListParse(benchmark::State& state) {
  qm::DisconnectList list;
  for (int i = 0; i < state.range(0); ++i) list.AddEntry("PC" + std::to_string(i), Address(i));
  const std::string data = qm::DisconnectListFile::Format(list.Lines());
  for (auto _ : state) {
    qm::DisconnectList back;
    back.Restore(qm::DisconnectListFile::Parse(data));
    benchmark::DoNotOptimize(back.Count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_DisconnectListParse)->Arg(10000)->Unit(benchmark::kMillisecond);

// The watch with a list that matches nothing, so every process is read;
// the list's length (a 110 KB list holds some 4 000 entries) must not make
// a check longer than the resolution budget.
template <bool NT>
void BM_ProgramWatch(benchmark::State& state) {
  qm::ProcProcessList proc;
  qm::ProgramList programs;
  qm::PackedTexts entries;
  for (int i = 0; i < state.range(0); ++i) {
    entries.PushBack("/USR/NO/SUCH/FOLDER/PROGRAM" + std::to_string(i));
  }
  programs.Restore(std::move(entries));
  qm::DisconnectStatus status;
  qm::ProgramWatcher watcher(&proc, programs, status);
  std::vector<std::uint32_t> ids;
  proc.ProcessIds(ids);
  for (auto _ : state) {
    if (NT) {
      watcher.QuakeNT();
    } else {
      watcher.Quake95();
    }
  }
  state.counters["processes"] = static_cast<double>(ids.size());
}
BENCHMARK(BM_ProgramWatch<true>)
    ->Name("BM_QuakeNT")
    ->Arg(1)
    ->Arg(4000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProgramWatch<false>)
    ->Name("BM_Quake95")
    ->Arg(1)
    ->Arg(4000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
