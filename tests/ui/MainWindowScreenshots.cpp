// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// Renders the main window of a running program on the demo state (both
// pages, with a selection), the Options dialog (both tabs) and the
// Disconnect List to PNG files, for a person to look at. Under a window
// manager the pictures are taken from the screen, title bars included:
// scripts/screenshots-main.sh runs it under Xvfb with openbox and tint2 at
// scale 1 and 2 (QT_SCALE_FACTOR).
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <iostream>
#include <vector>

#include "app/Application.h"
#include "core/ConnectionTree.h"
#include "platform/sim/SimulatedServerBackend.h"
#include "ui/ConnectionTreeModel.h"
#include "ui/ConnectionTreeView.h"
#include "ui/QtMessageBoxes.h"
#include "ui/TKickListForm.h"
#include "ui/TMainForm.h"
#include "ui/TOptionsForm.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 3) {
    std::cerr << "usage: ui_main_screenshots STATE.json OUTPUT-FOLDER [NAME-SUFFIX]\n";
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[2]);
  const QString suffix = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
  QDir().mkpath(out);
  QTemporaryDir data;
  qm::ApplicationConfig config;
  config.backend = std::make_unique<qm::SimulatedServerBackend>(argv[1]);
  config.programDirectory = data.path().toStdString();
  config.settingsPath = (data.path() + "/Quillmoor98.ini").toStdString();
  config.lookups = false;
  config.sleep = [](int) {};
  qm::TMainForm form;
  qm::QtMessageBoxes messages(&form);
  qm::Application app(std::move(config), form, messages);
  if (!app.Create()) {
    std::cerr << "cannot bind the simulated server: " << app.ServerError() << "\n";
    return 1;
  }
  form.Attach(app, messages);
  app.GetSettings().Siren = false;
  app.GetSettings().Notify = false;
  app.Tick();
  qm::Monitor& m = app.GetMonitor();
  // A user as if its lookup had finished.
  if (m.TreeViewCurrent.TopLevelCount() > 0) {
    auto* user = dynamic_cast<qm::TUser*>(m.TreeViewCurrent.TopLevel(0)->Data());
    user->IPAddress = "192.168.1.20";
    user->HostName = "accounting-pc.office.lan";
  }
  app.Rules().List().AddEntry("LAPTOP7", "192.168.1.31");
  app.Rules().List().AddEntry("GUEST-PC", "I don't know");

  // From the screen, with the window manager's frame; without one (the
  // offscreen platform) the window's own rendering.
  auto grab = [&](QWidget& w, const QString& name) {
    QApplication::processEvents();
    const QRect frame = w.frameGeometry();
    QPixmap shot = w.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (shot.isNull() || QGuiApplication::platformName() == "offscreen") shot = w.grab();
    const QString path = out + "/" + name + suffix + ".png";
    shot.save(path);
    std::cout << path.toStdString() << "\n";
  };
  // Each step waits for the window manager to frame and paint what the
  // step before showed.
  std::vector<std::function<void()>> steps = {
      [&] {
        // As a user finds it: started into the notification area, then
        // brought back from there.
        form.ApplyMainWindowBounds({40, 40, 460, 720});
        form.Start();
      },
      [&] { form.AppRestore(); },
      [&] {
        m.TreeViewCurrent.ExpandAll();
        if (m.TreeViewCurrent.FirstNode()) m.TreeViewCurrent.Select(m.TreeViewCurrent.FirstNode());
        form.RefreshTimerTimer();
      },
      [&] {
        grab(form, "main-current");
        form.PageControl->setCurrentIndex(1);
        m.TreeViewFormer.ExpandAll();
        if (m.TreeViewFormer.TopLevelCount() > 1)
          m.TreeViewFormer.Select(m.TreeViewFormer.TopLevel(1));
      },
      [&] {
        grab(form, "main-former");
        form.OptionsForm->show();
      },
      [&] {
        grab(*form.OptionsForm, "options-general");
        form.OptionsForm->PageControl->setCurrentIndex(1);
      },
      [&] {
        grab(*form.OptionsForm, "options-disconnect");
        form.OptionsForm->hide();
        form.KickListForm->show();
        form.KickListForm->ListView->setCurrentItem(form.KickListForm->ListView->topLevelItem(0));
      },
      [&] {
        grab(*form.KickListForm, "kicklist");
        form.KickListForm->hide();
        form.Detach();
        QApplication::quit();
      },
  };
  std::size_t next = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (next < steps.size()) steps[next++]();
  });
  timer.start(700);
  application.exec();
  return 0;
}
