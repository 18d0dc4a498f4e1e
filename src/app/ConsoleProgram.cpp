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

// Blocks the ending signals and reads them from a descriptor instead, so
// the loop sees them between ticks, never inside one.
class SignalDescriptor {
 public:
  SignalDescriptor() {
    sigemptyset(&mask_);
    sigaddset(&mask_, SIGINT);
    sigaddset(&mask_, SIGTERM);
    sigaddset(&mask_, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &mask_, &old_);
    fd_ = signalfd(-1, &mask_, SFD_CLOEXEC | SFD_NONBLOCK);
  }
  ~SignalDescriptor() {
    if (fd_ >= 0) ::close(fd_);
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SignalDescriptor(const SignalDescriptor&) = delete;
  SignalDescriptor& operator=(const SignalDescriptor&) = delete;
  int fd() const { return fd_; }
  int Read() {
    signalfd_siginfo info{};
    return ::read(fd_, &info, sizeof info) == sizeof info ? static_cast<int>(info.ssi_signo) : 0;
  }

 private:
  sigset_t mask_{}, old_{};
  int fd_ = -1;
};
}  // namespace

int RunConsole(const ConsoleOptions& options, ApplicationConfig config, int inputFd,
               std::ostream& out, std::ostream& err) {
  // A reader that went away (| head, a dropped ssh session) must not end
  // the monitor before it has stored the history and the settings.
  IgnoreBrokenPipe();
  SignalDescriptor signals;
  SystemClock clock;
  ConsoleFrontEnd front(out, err, [&clock] { return clock.Now(); });
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  front.SetWakeUpDescriptor(wake);
  // Outlives the application, whose monitor reports to it; listens before
  // anything is read or written, so a port in use changes nothing.
  ConsoleTelemetry telemetry(options.telemetry, out);
  if (std::string error; !telemetry.Listen(error)) {
    err << "quillmoor98: metrics: " << error << std::endl;
    ::close(wake);
    return 1;
  }
  // A tick answering a line reflects a reading taken after the line came.
  if (options.step && config.backend) config.backend->SetReadAhead(false);
  Application app(std::move(config), front, front, &clock);
  if (!app.Create()) {
    err << "quillmoor98: the server service cannot be bound: " << app.ServerError() << std::endl;
    ::close(wake);
    return 0;
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
  auto tick = [&] {
    caught([&] { app.Tick(); });
    ++ticks;
    tickLine();
  };
  // The first activation runs the first tick.
  const int before = app.GetMonitor().ProgramStarting ? 0 : 1;
  caught([&] { app.Activate(); });
  if (before == 0 && !app.GetMonitor().ProgramStarting) {
    ++ticks;
    tickLine();
  }

  auto nextTick = SteadyClock::now() + std::chrono::milliseconds(front.RefreshIntervalMs());
  bool ending = false;
  while (!ending && !front.TerminateRequested()) {
    pollfd fds[3] = {{signals.fd(), POLLIN, 0}, {wake, POLLIN, 0}, {inputFd, POLLIN, 0}};
    const nfds_t count = options.step ? 3 : 2;
    int timeout = -1;
    if (!options.step && front.TimerOn()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - SteadyClock::now());
      timeout = static_cast<int>(std::max<long long>(0, left.count()));
    }
    const int ready = ::poll(fds, count, timeout);
    if (ready < 0) continue;  // EINTR
    if (fds[0].revents & POLLIN) {
      if (signals.Read() != 0) {
        ending = true;
        break;
      }
    }
    if (fds[1].revents & POLLIN) {
      eventfd_t value;
      ::eventfd_read(wake, &value);
      app.RunPendingSteps();
    }
    if (options.step && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
      char buf[4096];
      const ssize_t n = ::read(inputFd, buf, sizeof buf);
      if (n <= 0) {
        ending = true;  // end of input: a normal shutdown
        break;
      }
      for (ssize_t i = 0; i < n && !front.TerminateRequested(); ++i) {
        if (buf[i] == '\n') tick();
      }
      continue;
    }
    if (!options.step && front.TimerOn() && SteadyClock::now() >= nextTick) {
      tick();
      nextTick = SteadyClock::now() + std::chrono::milliseconds(front.RefreshIntervalMs());
    }
  }
  // A signal or the end of input ends the program like the end of a
  // session: no password, the history stored, the settings written.
  if (ending) app.SessionEnd();
  app.Destroy();
  telemetry.Detach();
  front.SetWakeUpDescriptor(-1);
  ::close(wake);
  return 0;
}

}  // namespace qm
