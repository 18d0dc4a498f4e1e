// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/DesktopProgram.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <iostream>
#include <string>

#include "ui/QtFileIcons.h"
#include "ui/QtMessageBoxes.h"
#include "ui/TMainForm.h"

namespace qm {

namespace {
// SIGTERM and SIGHUP end the program like the end of the desktop session:
// the handler only writes a byte; the event loop does the work.
int signalPipe[2] = {-1, -1};

extern "C" void OnEndingSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}
}  // namespace

void ShowAlreadyRunning(int& argc, char** argv) {
  QApplication application(argc, argv);
  QMessageBox::information(nullptr, "Quillmoor 98", "Instance already running!");
}

int RunDesktop(int& argc, char** argv, ApplicationConfig config) {
  QApplication application(argc, argv);
  // The application name is the windows' class: the desktop matches it,
  // and the desktop file's name, with the menu entry and its icon.
  QApplication::setApplicationName("quillmoor98");
  QGuiApplication::setDesktopFileName("quillmoor98");
  QApplication::setQuitOnLastWindowClosed(false);
  QtFileIcons::UseInstalledThemeIfNone();

  TMainForm form;
  QtMessageBoxes messages(&form);
  SystemClock clock;
  Application app(std::move(config), form, messages, &clock);
  // The same control socket as the console's, so that "quillmoor98 ctl"
  // asks this program; one in use by a live program is left to it.
  if (std::string error; !app.ListenControl(Application::DefaultControlPath(), error)) {
    std::cerr << "quillmoor98: warning: no control socket: " << error << std::endl;
  }
  if (!app.Create()) {
    std::cerr << "quillmoor98: the server service cannot be bound: " << app.ServerError()
              << std::endl;
    return kExitFatal;
  }
  form.Attach(app, messages);
  // Its requests are answered on this thread, between ticks.
  QSocketNotifier* control = nullptr;
  if (app.ControlWakeDescriptor() >= 0) {
    control = new QSocketNotifier(app.ControlWakeDescriptor(), QSocketNotifier::Read, &form);
    QObject::connect(control, &QSocketNotifier::activated, &form, [&app, control] {
      // A message box shown by a tick runs this loop too: the requests
      // wait for the tick's end.
      if (app.GetMonitor().RefreshBusy) {
        control->setEnabled(false);
        QTimer::singleShot(50, control, [control] { control->setEnabled(true); });
        return;
      }
      app.RunControlRequests();
    });
  }

  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &form);
    QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form] {
      char byte;
      [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
      form.EndSession();
    });
    struct sigaction action {};
    action.sa_handler = OnEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
  }
  // The desktop session is ending: the history is stored without asking.
  QObject::connect(&application, &QGuiApplication::commitDataRequest, &form,
                   [&form](QSessionManager&) { form.EndSession(); });

  QTimer::singleShot(0, &form, [&form] { form.Start(); });
  application.exec();
  // The notifier's descriptor closes with the socket in Destroy.
  if (control) control->setEnabled(false);
  app.Destroy();
  form.Detach();
  return app.ExitStatus();
}

}  // namespace qm
