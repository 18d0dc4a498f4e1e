// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// Loading and saving a "Tree.dat" of 100,000 records: 1,000 former users,
// each with 9 shares of 10 open files. Target: at most 0.5 s each.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "BenchServer.h"
#include "os/AtomicFile.h"
#include "store/FormerConnectionStore.h"
#include "store/NodeRecord.h"

namespace {

constexpr int kUsers = 1000;
constexpr int kSharesPerUser = 9;
constexpr int kFilesPerShare = 10;
constexpr int kRecords = kUsers * (1 + kSharesPerUser * (1 + kFilesPerShare));

std::string Folder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/qm-bench-XXXXXX";
  if (!::mkdtemp(pattern.data())) std::abort();
  return pattern;
}

void Append(std::string& out, int level, const std::string& name, double enter) {
  qm::NodeRecord r;
  r.Level = level;
  r.Name = name;
  r.EnterTime = enter;
  r.ExitTime = enter + 0.01;
  if (level == 0) {
    r.UserName = "user-" + name;
    r.IPAddress = "192.168.1.1";
    r.HostName = name + ".example.org";
  }
  const std::size_t at = out.size();
  out.resize(at + qm::NodeRecord::kSize);
  r.Encode(reinterpret_cast<unsigned char*>(out.data() + at));
}

const std::string& History() {
  static const std::string data = [] {
    std::string out;
    for (int u = 0; u < kUsers; ++u) {
      const std::string user = "PC" + std::to_string(u);
      Append(out, 0, user, 45000 + u);
      for (int s = 0; s < kSharesPerUser; ++s) {
        const std::string share = "SHARE" + std::to_string(s);
        Append(out, 1, share, 45000 + u);
        for (int f = 0; f < kFilesPerShare; ++f) {
          Append(out, 2, "/srv/" + share + "/" + user + "/document" + std::to_string(f) + ".odt",
                 45000 + u);
        }
      }
    }
    return out;
  }();
  return data;
}

void BM_LoadFormerConnections(benchmark::State& state) {
  const std::string folder = Folder();
  const std::string path = qm::FormerConnectionStore::TreeFilePath(folder);
  std::string error;
  if (!qm::WriteFileAtomically(path, History(), error)) std::abort();
  for (auto _ : state) {
    auto world = std::make_unique<qm::bench::MemoryMonitor>();
    qm::FormerConnectionStore store(world->monitor, path);
    store.LoadFormerConnections();
    if (world->monitor.TreeViewFormer.Count() != kRecords) state.SkipWithError("not loaded");
    state.PauseTiming();
    world.reset();
    state.ResumeTiming();
  }
  state.counters["records"] = kRecords;
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(kRecords),
                                                   benchmark::Counter::kIsIterationInvariantRate);
  std::remove(path.c_str());
  ::rmdir(folder.c_str());
}

// Count: the number of former users kept (1000 writes them all, 100 drops
// the 900 oldest first).
void BM_SaveFormerConnections(benchmark::State& state) {
  const std::string folder = Folder();
  const std::string path = qm::FormerConnectionStore::TreeFilePath(folder);
  for (auto _ : state) {
    state.PauseTiming();
    auto world = std::make_unique<qm::bench::MemoryMonitor>();
    world->settings.Count = static_cast<int>(state.range(0));
    qm::FormerConnectionStore store(world->monitor, path);
    store.LoadRecords(History());
    state.ResumeTiming();
    if (!store.SaveFormerConnections()) state.SkipWithError("not saved");
    state.PauseTiming();
    world.reset();
    state.ResumeTiming();
  }
  state.counters["records"] = kRecords;
  std::remove(path.c_str());
  ::rmdir(folder.c_str());
}

}  // namespace

BENCHMARK(BM_LoadFormerConnections)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SaveFormerConnections)
    ->Arg(1000)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

BENCHMARK_MAIN();
