// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// Readings of Samba's state on a real, private smbd against a bare full
// `smbstatus --json` run of the same state, measured alternately in one
// loop: with 200 and 1,000 clients (one connection and one open file
// each), where the reading uses the full listing, and with thousands of
// files open in one connection, where the full listing grows
// quadratically and the reading reads its parts; and with 200 clients and
// one more holding a file with MAXIMUM_ALLOWED access, which makes the
// full listing abort (its time is then the time to abort) and the reading
// read apart. The clients are Samba's
// own client library (python3-samba), one process for all. Needs root.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "integration/SambaTestServer.h"
#include "os/ProcessRunner.h"
#include "platform/samba/SambaReader.h"

namespace {

using Clock = std::chrono::steady_clock;

struct World {
  qm::test::SambaTestServer server;
  qm::SambaOptions options;
  std::unique_ptr<qm::SambaTools> tools;
  std::unique_ptr<qm::SambaReader> reader;
  qm::test::SambaTestServer::ClientId holder = -1;
  std::string error;

  // A fresh server with connections each holding files open, and a reader.
  bool Prepare(int connections, int files, bool maximumAllowed) {
    if (holder >= 0) server.Stop();
    error = qm::test::SambaTestServer::Unavailable();
    if (error.empty()) error = qm::test::SambaTestServer::HoldFilesUnavailable();
    if (!error.empty() || !server.Start(error)) return false;
    holder = server.HoldFiles(files, 0x3, connections);
    const auto timeout = std::chrono::seconds(60 + connections / 5 + files / 50);
    if (!qm::test::SambaTestServer::WaitUntil(
            [&] { return server.ClientOutput(holder).find("held") != std::string::npos; },
            timeout)) {
      error = "the clients did not come up: " + server.ClientOutput(holder);
      return false;
    }
    if (maximumAllowed) {
      const auto one = server.HoldFiles(1, 0x02000000);
      qm::test::SambaTestServer::WaitUntil(
          [&] { return server.ClientOutput(one).find("held") != std::string::npos; });
    }
    options = server.BackendOptions();
    options.toolTimeout = std::chrono::seconds(60);
    tools =
        std::make_unique<qm::SambaTools>(options.elevate, options.toolTimeout, options.toolMemory);
    reader = std::make_unique<qm::SambaReader>(options, *tools);
    return true;
  }
};

World& TheWorld() {
  static World world;
  return world;
}

// One full listing, unbounded in memory, as the reading compares with; it
// is given two minutes (at 10,000 open files on a loaded host it takes
// longer: its figure is then a lower bound).
bool FullListing(const World& w, long& peakKb) {
  qm::ProcessRunner::Options o;
  o.timeout = std::chrono::minutes(2);
  const qm::ProcessResult run = qm::ProcessRunner::Run(
      {qm::ProcessRunner::Find("smbstatus"), "--json", "--configfile=" + w.server.ConfPath()}, o);
  peakKb = std::max(peakKb, run.maxResidentKb);
  return run.Succeeded();
}

void BM_ReadingVersusFullSmbstatus(benchmark::State& state) {
  World& w = TheWorld();
  const int connections = static_cast<int>(state.range(0));
  const int files = static_cast<int>(state.range(1));
  const bool maximumAllowed = state.range(2) != 0;
  if (!w.Prepare(connections, files, maximumAllowed)) {
    state.SkipWithError(("real Samba is not available: " + w.error).c_str());
    return;
  }
  w.reader->Read();  // settles the way of reading (the parts, when the full listing is slow)
  double fullSeconds = 0, readingSeconds = 0;
  long fullKb = 0, readingKb = 0;
  int fullFailed = 0;
  std::shared_ptr<qm::SambaReading> last;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    // With a MAXIMUM_ALLOWED open the full listing aborts: its time is the
    // time to abort.
    if (!FullListing(w, fullKb)) ++fullFailed;
    const auto t1 = Clock::now();
    last = w.reader->Read();
    const auto t2 = Clock::now();
    if (last->status) {
      state.SkipWithError(("the reading failed: " + last->failure).c_str());
      return;
    }
    readingKb = std::max(readingKb, last->toolKb);
    fullSeconds += std::chrono::duration<double>(t1 - t0).count();
    const double reading = std::chrono::duration<double>(t2 - t1).count();
    readingSeconds += reading;
    state.SetIterationTime(reading);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["full_ms"] = fullSeconds / n * 1e3;
  state.counters["reading_ms"] = readingSeconds / n * 1e3;
  state.counters["reading_per_full"] = readingSeconds / fullSeconds;
  state.counters["full_peak_MB"] = static_cast<double>(fullKb) / 1024;
  state.counters["reading_peak_MB"] = static_cast<double>(readingKb) / 1024;
  state.counters["apart"] = last->apart ? 1 : 0;
  state.counters["full_failed"] = fullFailed;
  state.counters["sessions"] = static_cast<double>(last->tables.sessions.size());
  state.counters["open_files"] = static_cast<double>(last->tables.files.size());
}
BENCHMARK(BM_ReadingVersusFullSmbstatus)
    ->Args({200, 1, 0})
    ->Args({200, 1, 1})
    ->Args({1000, 1, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3);
BENCHMARK(BM_ReadingVersusFullSmbstatus)
    ->Args({1, 5000, 0})
    ->Args({1, 10000, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
