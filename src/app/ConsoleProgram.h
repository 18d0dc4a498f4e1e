// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "app/Application.h"
#include "app/ConsoleTelemetry.h"

namespace qm {

struct ConsoleOptions {
  // Ticks driven by standard input (one per line) instead of the timer.
  bool step = false;
  // The control socket's path; empty: none.
  std::string control;
  // False for the default path: a socket that cannot listen there is a
  // warning, not a reason to stop.
  bool controlRequired = true;
  // The metrics endpoint and the form of the events.
  ConsoleTelemetryOptions telemetry;
};

// Runs the program without windows until a signal (SIGINT, SIGTERM: like
// the end of a desktop session, the history is stored and the settings
// written), the end of standard input in step mode, or a fatal failure.
// SIGHUP reads the settings and list files again. Returns the process's
// exit status: kExitNormal, or kExitFatal after a fatal end (also when the
// metrics endpoint or the control socket cannot listen).
int RunConsole(const ConsoleOptions& options, ApplicationConfig config, int inputFd,
               std::ostream& out, std::ostream& err);

// A hook the lookup threads use to wake the console loop (set by
// RunConsole while it runs; empty otherwise).
using WakeUp = std::function<void()>;

}  // namespace qm
