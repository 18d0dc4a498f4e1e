// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "app/ConsoleProgram.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <exception>
#include <iostream>
#include <string>

#include "app/ConsoleFrontEnd.h"
#include "os/BrokenPipe.h"

namespace qm {

namespace {
using SteadyClock = std::chrono::steady_clock;

// Blocks the ending signals (and SIGHUP, which asks for the files to be
// read again) and reads them from a descriptor instead, so the loop sees
// them between ticks, never inside one. A second descriptor, never read,
// tells a tick that an ending signal waits.
class SignalDescriptor {
 public:
  SignalDescriptor() {
    sigemptyset(&mask_);
    sigaddset(&mask_, SIGINT);
    sigaddset(&mask_, SIGTERM);
    sigaddset(&mask_, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &mask_, &old_);
    fd_ = signalfd(-1, &mask_, SFD_CLOEXEC | SFD_NONBLOCK);
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    stopFd_ = signalfd(-1, &ending, SFD_CLOEXEC | SFD_NONBLOCK);
  }
  ~SignalDescriptor() {
    // An ending signal that came during the shutdown asked for what is
    // done by now: let go of it here, or the mask's restoring would end
    // the process by it after a clean end.
    if (fd_ >= 0) {
      while (Read() != 0) {
      }
      ::close(fd_);
    }
    if (stopFd_ >= 0) ::close(stopFd_);
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SignalDescriptor(const SignalDescriptor&) = delete;
  SignalDescriptor& operator=(const SignalDescriptor&) = delete;
  int fd() const { return fd_; }
  int StopFd() const { return stopFd_; }
  int Read() {
    signalfd_siginfo info{};
    return ::read(fd_, &info, sizeof info) == sizeof info ? static_cast<int>(info.ssi_signo) : 0;
  }

 private:
  sigset_t mask_{}, old_{};
  int fd_ = -1;
  int stopFd_ = -1;
};
}  // namespace

int RunConsole(const ConsoleOptions& options, ApplicationConfig config, int inputFd,
               std::ostream& out, std::ostream& err) {
  // A reader that went away (| head, a dropped ssh session) must not end
  // the monitor before it has stored the history and the settings.
  IgnoreBrokenPipe();
  SignalDescriptor signals;
  SystemClock clock;
  ConsoleFrontEnd front(err);
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  front.SetWakeUpDescriptor(wake);
  front.SetStopDescriptor(signals.StopFd());
  // Outlives the application, whose events it writes; listens before
  // anything is read or written, so a port in use changes nothing.
  ConsoleTelemetry telemetry(options.telemetry, out);
  if (std::string error; !telemetry.Listen(error)) {
    err << "quillmoor98: metrics: " << error << std::endl;
    ::close(wake);
    return kExitFatal;
  }
  Application app(std::move(config), front, front, &clock);
  if (std::string error; !app.ListenControl(options.control, error)) {
    if (options.controlRequired) {
      err << "quillmoor98: control socket: " << error << std::endl;
      ::close(wake);
      return kExitFatal;
    }
    err << "quillmoor98: warning: no control socket: " << error << std::endl;
  }
  if (!app.Create()) {
    err << "quillmoor98: the server service cannot be bound: " << app.ServerError() << std::endl;
    ::close(wake);
    return kExitFatal;
  }
  telemetry.Attach(app, front);

  // A tick that throws has cleared its busy flag; the next one tries
  // again, as in the desktop program.
  auto caught = [&err](const std::function<void()>& run) {
    try {
      run();
    } catch (const std::exception& e) {
      err << "quillmoor98: a refresh failed: " << e.what() << std::endl;
    }
  };
  int ticks = 0;
  auto tickLine = [&] {
    if (options.step) {
      telemetry.TickLine(ticks, app.GetMonitor().CurrentUserCount, app.GetMonitor().OpenFileCount);
    }
  };
  auto applied = [&] {
    ++ticks;
    // A tick cut short by a stop is no tick to report.
    if (!front.StopRequested()) tickLine();
  };
  // A step answers one line with the reading taken after the line came:
  // steps run one after the other, each starting its own reading.
  int stepsWanted = 0;
  bool stepRunning = false;
  auto startSteps = [&] {
    while (!stepRunning && stepsWanted > 0 && !front.TerminateRequested()) {
      --stepsWanted;
      stepRunning = true;
      caught([&] {
        app.Tick([&] {
          stepRunning = false;
          applied();
        });
      });
    }
  };
  // The first activation runs the first tick.
  bool first = false;
  caught([&] { first = app.Activate(); });
  if (first) {
    ++ticks;
    tickLine();
  }

  auto nextTick = SteadyClock::now() + std::chrono::milliseconds(front.RefreshIntervalMs());
  bool ending = false;
  bool inputEnded = false;
  while (!ending && !front.TerminateRequested()) {
    // The end of input ends the program once the steps it asked for ran.
    if (inputEnded && !stepRunning && stepsWanted == 0) {
      ending = true;
      break;
    }
    pollfd fds[4] = {{signals.fd(), POLLIN, 0},
                     {wake, POLLIN, 0},
                     {app.ControlWakeDescriptor(), POLLIN, 0},
                     {inputFd, POLLIN, 0}};
    const nfds_t count = options.step && !inputEnded ? 4 : 3;
    int timeout = -1;
    if (!options.step && front.TimerOn()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - SteadyClock::now());
      timeout = static_cast<int>(std::max<long long>(0, left.count()));
    }
    const int ready = ::poll(fds, count, timeout);
    if (ready < 0) continue;  // EINTR
    if (fds[0].revents & POLLIN) {
      const int signal = signals.Read();
      // SIGHUP (systemctl reload): the files are read again, at once.
      if (signal == SIGHUP) {
        app.ReloadChangedFiles(true);
      } else if (signal != 0) {
        ending = true;
        break;
      }
    }
    if (fds[1].revents & POLLIN) {
      eventfd_t value;
      ::eventfd_read(wake, &value);
      caught([&] { app.RunPendingSteps(); });
    }
    if (fds[2].revents & POLLIN) app.RunControlRequests();
    if (count == 4 && (fds[3].revents & (POLLIN | POLLHUP | POLLERR))) {
      char buf[4096];
      const ssize_t n = ::read(inputFd, buf, sizeof buf);
      if (n <= 0) inputEnded = true;  // end of input: a normal shutdown
      for (ssize_t i = 0; i < n; ++i) {
        if (buf[i] == '\n') ++stepsWanted;
      }
    }
    if (options.step) {
      startSteps();
      continue;
    }
    if (front.TimerOn() && SteadyClock::now() >= nextTick) {
      caught([&] { app.Tick(applied); });
      nextTick = SteadyClock::now() + std::chrono::milliseconds(front.RefreshIntervalMs());
    }
  }
  // SIGINT, SIGTERM or the end of input ends the program like the end of a
  // session: no password, the history stored, the settings written. The
  // sinks stay until the lookups and readings have stopped: what they
  // report at the end is still told.
  if (ending) app.SessionEnd();
  app.Destroy();
  telemetry.Detach();
  front.SetWakeUpDescriptor(-1);
  front.SetStopDescriptor(-1);
  ::close(wake);
  return app.ExitStatus();
}

}  // namespace qm
