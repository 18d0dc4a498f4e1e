// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The 95/98 family's buffer protocol at 2,000 sessions, connections and
// open files: the count, the buffer of (total + 1) x the reserve per
// entry, the records read back, as one enumeration of each kind does it
// (a 16-bit size could not hold even 122 sessions).
#include <benchmark/benchmark.h>

#include <string>

#include "core/ServerApi.h"
#include "platform/InMemoryServerBackend.h"

namespace {

struct World95 {
  explicit World95(int count) : backend(true), api(backend) {
    auto& t = backend.tables;
    t.shares.push_back({"DATA", "/srv/data", 0});
    for (int i = 0; i < count; ++i) {
      const std::string n = std::to_string(i);
      t.connections.push_back({"DATA", "PC" + n, "user" + n});
      t.files.push_back({"DATA", "PC" + n, "user" + n, "/srv/data/file" + n + ".odt"});
      t.sessions.push_back({"PC" + n, "user" + n, static_cast<std::uint32_t>(i), ""});
    }
    api.LoadServerApi();
    api.SharesInit();
  }
  ~World95() { api.SharesExit(); }
  qm::InMemoryServerBackend backend;
  qm::ServerApi api;
};

// Reads every entry's strings, as the callers do.
template <typename Init, typename Read, typename Exit>
void Enumerate(benchmark::State& state, Init init, Read read, Exit exit, qm::ServerApi& api,
               int kind) {
  std::size_t bytes = 0;
  for (auto _ : state) {
    const int n = init();
    if (n != state.range(0)) {
      state.SkipWithError("the enumeration did not list every entry");
      return;
    }
    for (int i = 0; i < n; ++i) bytes += read(i).size();
    exit();
  }
  benchmark::DoNotOptimize(bytes);
  state.counters["entries"] = static_cast<double>(state.range(0));
  state.counters["buffer_bytes"] = static_cast<double>(api.LastBufferSize(kind));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_Sessions95(benchmark::State& state) {
  World95 w(static_cast<int>(state.range(0)));
  qm::ServerApi& api = w.api;
  Enumerate(
      state, [&] { return api.SessionsInit(); },
      [&](int i) { return api.FromPlatformString(api.SessionClient(i)); },
      [&] { api.SessionsExit(); }, api, qm::ServerApi::kSessions);
}
BENCHMARK(BM_Sessions95)->Arg(120)->Arg(2000)->Unit(benchmark::kMicrosecond);

void BM_Connections95(benchmark::State& state) {
  World95 w(static_cast<int>(state.range(0)));
  qm::ServerApi& api = w.api;
  // On 95/98 a platform string is the program string's own characters.
  const std::string name = "DATA";
  const qm::PlatformText share = api.ToPlatformString(name);
  Enumerate(
      state, [&] { return api.ConnectionsInit(share.get()); },
      [&](int i) { return api.FromPlatformString(api.ConnectionClient(i)); },
      [&] { api.ConnectionsExit(); }, api, qm::ServerApi::kConnections);
}
BENCHMARK(BM_Connections95)->Arg(2000)->Unit(benchmark::kMicrosecond);

void BM_Files95(benchmark::State& state) {
  World95 w(static_cast<int>(state.range(0)));
  qm::ServerApi& api = w.api;
  Enumerate(
      state, [&] { return api.FilesInit(nullptr, nullptr); },
      [&](int i) { return api.FromPlatformString(api.OpenFilePath(i)); }, [&] { api.FilesExit(); },
      api, qm::ServerApi::kFiles);
}
BENCHMARK(BM_Files95)->Arg(2000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
