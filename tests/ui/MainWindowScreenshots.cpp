// Renders the main window of a running program on the demo state (both
// pages, with a selection) and the Options dialog to PNG files, for a
// person to look at: scripts/screenshots-main.sh runs it under Xvfb.
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <iostream>

#include "app/Application.h"
#include "core/ConnectionTree.h"
#include "platform/sim/SimulatedServerBackend.h"
#include "ui/ConnectionTreeModel.h"
#include "ui/ConnectionTreeView.h"
#include "ui/QtMessageBoxes.h"
#include "ui/TMainForm.h"
#include "ui/TOptionsForm.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 3) {
    std::cerr << "usage: ui_main_screenshots STATE.json OUTPUT-FOLDER\n";
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[2]);
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
  form.move(40, 40);
  form.resize(720, 460);
  form.show();
  form.AppRestore();
  auto grab = [&](QWidget& w, const QString& name) {
    QApplication::processEvents();
    const QString path = out + "/" + name + ".png";
    w.grab().save(path);
    std::cout << path.toStdString() << "\n";
  };
  QTimer::singleShot(300, [&] {
    m.TreeViewCurrent.ExpandAll();
    if (m.TreeViewCurrent.FirstNode()) m.TreeViewCurrent.Select(m.TreeViewCurrent.FirstNode());
    app.Tick();
    grab(form, "main-current");
    form.PageControl->setCurrentIndex(1);
    m.TreeViewFormer.ExpandAll();
    if (m.TreeViewFormer.TopLevelCount() > 1) m.TreeViewFormer.Select(m.TreeViewFormer.TopLevel(1));
    grab(form, "main-former");
    form.OptionsForm->show();
    grab(*form.OptionsForm, "options-general");
    form.OptionsForm->PageControl->setCurrentIndex(1);
    grab(*form.OptionsForm, "options-disconnect");
    form.OptionsForm->hide();
    form.Detach();
    QApplication::quit();
  });
  application.exec();
  return 0;
}
