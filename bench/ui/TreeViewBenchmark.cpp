// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// One tick of the refresh cycle and the views catching up with it: both
// trees through their models in tree views on two pages of a window on the
// offscreen platform, as in the main window, U users x 3 shares x 5 open
// files. The Current Connections page shows (so every tick also expands the
// current tree). Steady state, and with some users replaced at every tick;
// the same ticks without views tell what the views add. The counters
// tick_ms, events_ms and paint_ms split a tick into the refresh cycle (with
// the models following it), the events after it (the views' layout, the
// removals handed to Qt) and the paint.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTabWidget>
#include <chrono>
#include <memory>
#include <string>

#include "BenchServer.h"
#include "core/RefreshCycle.h"
#include "ui/ConnectionTreeModel.h"
#include "ui/ConnectionTreeView.h"
#include "ui/QtFileIcons.h"
#include "ui/TreeImageList.h"

namespace {

class ShownWindow final : public qm::MonitorView {
 public:
  bool WindowShown() const override { return true; }
  bool CurrentPageActive() const override { return true; }
};

struct World {
  explicit World(int users, bool views = true)
      : icons(images), m(&window, &icons), cycle(m.monitor) {
    qm::bench::AddShares(m.backend.tables);
    for (int u = 0; u < users; ++u)
      qm::bench::AddClient(m.backend.tables, "PC" + std::to_string(u));
    if (views) {
      current = std::make_unique<qm::ConnectionTreeModel>(m.monitor.TreeViewCurrent, images);
      former = std::make_unique<qm::ConnectionTreeModel>(m.monitor.TreeViewFormer, images);
      currentView->SetTreeModel(current.get());
      formerView->SetTreeModel(former.get());
    }
    pages.addTab(currentView, QStringLiteral("Current Connections"));
    pages.addTab(formerView, QStringLiteral("Former Connections"));
    pages.resize(400, 600);
    pages.show();
    Tick();
  }
  void Tick() {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    m.clock.AdvanceSeconds(1);
    cycle.RefreshTimerTimer();
    const auto ticked = Clock::now();
    // The views lay themselves out and paint, as between two ticks.
    QCoreApplication::processEvents();
    const auto laidOut = Clock::now();
    pages.repaint();
    const auto painted = Clock::now();
    tickSeconds += std::chrono::duration<double>(ticked - start).count();
    eventSeconds += std::chrono::duration<double>(laidOut - ticked).count();
    paintSeconds += std::chrono::duration<double>(painted - laidOut).count();
  }
  // Where the time went, in ms per tick: the tick itself (with the
  // models' share of it), the events that follow it, the paint.
  void Report(benchmark::State& state) const {
    const double n = static_cast<double>(state.iterations());
    if (n == 0) return;
    state.counters["tick_ms"] = tickSeconds * 1000 / n;
    state.counters["events_ms"] = eventSeconds * 1000 / n;
    state.counters["paint_ms"] = paintSeconds * 1000 / n;
  }
  void ResetTimes() { tickSeconds = eventSeconds = paintSeconds = 0; }
  double tickSeconds = 0;
  double eventSeconds = 0;
  double paintSeconds = 0;
  ShownWindow window;
  qm::TreeImageList images;
  qm::QtFileIcons icons;
  qm::bench::MemoryMonitor m;
  qm::RefreshCycle cycle;
  std::unique_ptr<qm::ConnectionTreeModel> current;
  std::unique_ptr<qm::ConnectionTreeModel> former;
  QTabWidget pages;
  qm::ConnectionTreeView* currentView = new qm::ConnectionTreeView;
  qm::ConnectionTreeView* formerView = new qm::ConnectionTreeView;
};

// range(1): 0 without views.
void BM_TickAndViewsSteady(benchmark::State& state) {
  World w(static_cast<int>(state.range(0)), state.range(1) != 0);
  w.ResetTimes();
  for (auto _ : state) w.Tick();
  w.Report(state);
  state.counters["users"] = w.m.monitor.CurrentUserCount;
  state.counters["rows"] = w.m.monitor.TreeViewCurrent.Count() + w.m.monitor.TreeViewFormer.Count();
}
BENCHMARK(BM_TickAndViewsSteady)->Args({2000, 1})->Args({2000, 0})->Unit(benchmark::kMillisecond);

// range(1): users replaced per tick; range(2): 0 without views.
void BM_TickAndViewsReplaced(benchmark::State& state) {
  const int users = static_cast<int>(state.range(0));
  const int churn = static_cast<int>(state.range(1));
  World w(users, state.range(2) != 0);
  int next = users;
  w.ResetTimes();
  for (auto _ : state) {
    state.PauseTiming();
    auto& t = w.m.backend.tables;
    for (int i = 0; i < churn; ++i) qm::RemoveClient(t, t.sessions.front().client, "", nullptr);
    for (int i = 0; i < churn; ++i) qm::bench::AddClient(t, "PC" + std::to_string(next++));
    state.ResumeTiming();
    w.Tick();
  }
  state.counters["users"] = w.m.monitor.CurrentUserCount;
  state.counters["former"] = w.m.monitor.FormerUserCount;
  w.Report(state);
}
BENCHMARK(BM_TickAndViewsReplaced)
    ->Args({2000, 1, 1})
    ->Args({2000, 20, 1})
    ->Args({2000, 20, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
