// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The main window over a running program on an in-memory server: context
// menus per node kind and their enabling, the pages' status text, the tray
// menu's status in step with the status bar, the tooltip's limit, and the
// history commands; what a desktop user sees of it: whole status texts,
// exact titles, windows on the screen, one notification per tick, full
// paths, title-bar buttons, the help file.
#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolBar>
#include <QtTest>

#include "ModalDriver.h"
#include "app/Application.h"
#include "core/ConnectionTree.h"
#include "platform/InMemoryServerBackend.h"
#include "platform/TableServerBackend.h"
#include "ui/AlertSound.h"
#include "ui/ConnectionTreeModel.h"
#include "ui/ConnectionTreeView.h"
#include "ui/InfoPanel.h"
#include "ui/QtMessageBoxes.h"
#include "ui/ReadableColour.h"
#include "ui/ShellOpen.h"
#include "ui/TAboutForm.h"
#include "ui/TKickForm.h"
#include "ui/TKickListForm.h"
#include "ui/TMainForm.h"
#include "ui/TOptionsForm.h"
#include "ui/TProgramNameForm.h"
#include "ui/TUserNameForm.h"

namespace qm {

using test::ModalDriver;

namespace {
// A running program whose server lives in memory.
struct Program {
  Program() : messages(&form) {
    auto server = std::make_unique<InMemoryServerBackend>();
    backend = server.get();
    backend->tables.shares = {{"DOCS", "/srv/docs", 0}, {"PUB", "/srv/pub", 0}};
    ApplicationConfig config;
    config.backend = std::move(server);
    config.programDirectory = dir.path().toStdString();
    config.settingsPath = (dir.path() + "/Quillmoor98.ini").toStdString();
    config.lookups = false;
    config.sleep = [](int) {};
    app = std::make_unique<Application>(std::move(config), form, messages, &clock);
    created = app->Create();
    form.Attach(*app, messages);
    app->GetSettings().Siren = false;
    app->GetSettings().Notify = false;
  }
  ~Program() { form.Detach(); }
  void Connect(const std::string& client, const std::string& share) {
    backend->tables.connections.push_back({share, client, "user-" + client});
    backend->tables.sessions.push_back({client, "user-" + client, 0, "127.0.0.1"});
  }
  Monitor& M() { return app->GetMonitor(); }
  // The pointer position of a node in its view.
  QPoint At(ConnectionTreeView* view, TreeNode* node) {
    view->expandAll();
    const QModelIndex i = view->TreeModel()->IndexOf(node);
    return view->visualRect(i).center();
  }

  QTemporaryDir dir;
  ManualClock clock;
  TMainForm form;
  QtMessageBoxes messages;
  InMemoryServerBackend* backend = nullptr;
  std::unique_ptr<Application> app;
  bool created = false;
};
}  // namespace

// The desktop's notification service as a test stands it up.
class FakeNotificationService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public slots:
  uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
              const QStringList& actions, const QVariantMap& hints, int) {
    calls.push_back({summary, body, actions, hints});
    return 7;
  }

 public:
  std::vector<QVariantList> calls;
};

class MainWindowTest : public QObject {
  Q_OBJECT

 public:
  ~MainWindowTest() override { bus_.kill(), bus_.waitForFinished(); }

 private slots:
  // A session bus of the test's own: no notification reaches the desktop.
  void initTestCase() {
    bus_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (bus_.waitForStarted() && bus_.waitForReadyRead(5000)) {
      busAddress_ = QString::fromUtf8(bus_.readLine()).trimmed();
      qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress_.toUtf8());
    }
  }

  void ContextMenusPerNodeKind();
  void FormerPageEnablesDeleteOnlyForEndedVisits();
  void TrayMenuAndStatusBarStayInStep();
  void TooltipIsCutAt62Characters();
  void ClearKeepsTheOpenConnectionsAfterYes();
  void CaptionAndCountsFollowTheTick();
  void StatusTextsStayWholeAtTheDefaultSize();
  void TitlesAreExactlyTheirCaptions();
  void WindowsComeBackOntoTheScreen();
  void ArrivalsOfOneTickMakeOneNotificationAndOneSound();
  void OpenSaysWhyItCannot();
  void LongPathsScrollAndShowWhole();
  void CurrentTreeDrawsNoExpandButtons();
  void DialogsOfferOnlyTheirTitleBarButtons();
  void HelpIsFoundBesideTheProgram();
  void ActivationNeverWaitsForTheServer();
  void InfoPanelsReadAsTheSchemeChanges();
  void KeyboardAndScreenReader();
  void SelectedRowKeepsItsPlaceOnScreen();
  void NotificationsGoThroughTheDesktopService();

 private:
  QProcess bus_;
  QString busAddress_;
};

void MainWindowTest::ContextMenusPerNodeKind() {
  Program p;
  QVERIFY(p.created);
  p.Connect("PC1", "DOCS");
  p.backend->tables.files.push_back({"DOCS", "PC1", "user-PC1", "/srv/docs/a.txt"});
  p.app->Tick();
  p.form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&p.form));
  TreeNode* user = p.M().TreeViewCurrent.TopLevel(0);
  TreeNode* share = user->Child(0);
  TreeNode* file = share->Child(0);
  ConnectionTreeView* view = p.form.TreeViewCurrent;
  QCOMPARE(p.form.TreeViewMouseDown(p.At(view, user)), p.form.KickListPopup);
  QVERIFY(p.form.KickUserMenuItem->isEnabled());
  QVERIFY(!p.form.Deleteuserfromconnectionlist->isEnabled());
  QCOMPARE(p.M().TreeViewCurrent.Selected(), user);
  QCOMPARE(p.form.TreeViewMouseDown(p.At(view, share)), static_cast<QMenu*>(nullptr));
  QCOMPARE(p.M().TreeViewCurrent.Selected(), share);  // selected, but no menu
  QCOMPARE(p.form.TreeViewMouseDown(p.At(view, file)), p.form.FilePopup);
  QCOMPARE(p.form.FilePopup->actions().size(), 1);
  QCOMPARE(p.form.FilePopup->actions()[0]->text(), QString("&Open"));
  // Beside the nodes: no menu, the selection stays.
  const QPoint below(5, view->viewport()->height() - 3);
  QCOMPARE(p.form.TreeViewMouseDown(below), static_cast<QMenu*>(nullptr));
  QCOMPARE(p.M().TreeViewCurrent.Selected(), file);
}

void MainWindowTest::FormerPageEnablesDeleteOnlyForEndedVisits() {
  Program p;
  p.Connect("PC1", "DOCS");
  p.app->Tick();
  p.backend->tables = {{{"DOCS", "/srv/docs", 0}}, {}, {}, {}};
  p.app->Tick();  // PC1 has gone
  p.clock.AdvanceSeconds(1);
  p.Connect("PC1", "DOCS");
  p.app->Tick();  // and is back
  p.form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&p.form));
  p.form.PageControl->setCurrentIndex(1);
  QCOMPARE(p.form.StatusPanels[1]->text(), QString("Number of former users: 2"));
  ConnectionTreeView* view = p.form.TreeViewFormer;
  TreeNode* ended = p.M().TreeViewFormer.TopLevel(0);
  TreeNode* open = p.M().TreeViewFormer.TopLevel(1);
  QCOMPARE(p.form.TreeViewMouseDown(p.At(view, ended)), p.form.KickListPopup);
  QVERIFY(!p.form.KickUserMenuItem->isEnabled());
  QVERIFY(p.form.Deleteuserfromconnectionlist->isEnabled());
  QCOMPARE(p.form.TreeViewMouseDown(p.At(view, open)), p.form.KickListPopup);
  QVERIFY(p.form.KickUserMenuItem->isEnabled());
  QVERIFY(!p.form.Deleteuserfromconnectionlist->isEnabled());
  p.form.TreeViewMouseDown(p.At(view, ended));
  p.form.DeleteuserfromconnectionlistClick();
  QCOMPARE(p.M().FormerUserCount, 1);
  QCOMPARE(p.form.StatusPanels[1]->text(), QString("Number of former users: 1"));
  p.form.PageControl->setCurrentIndex(0);
  QCOMPARE(p.form.StatusPanels[1]->text(), QString("Number of current users: 1"));
}

void MainWindowTest::TrayMenuAndStatusBarStayInStep() {
  Program p;
  QCOMPARE(p.form.StatusPanels[0]->text(), QString("Disconnect status: Disconnect nobody"));
  QVERIFY(p.form.Kicknobody->isChecked());
  p.form.Kickall->trigger();
  QCOMPARE(p.app->Rules().Status().WhoToKick(), KickAll);
  QCOMPARE(p.form.StatusPanels[0]->text(), QString("Disconnect status: Disconnect all"));
  QVERIFY(!p.form.Kicknobody->isChecked());
  p.app->Rules().Status().SetWhoToKick(KickList);  // e.g. the dialog or the watch
  QVERIFY(p.form.Kicklist->isChecked());
  QVERIFY(!p.form.Kickall->isChecked());
  QCOMPARE(p.form.StatusPanels[0]->text(), QString("Disconnect status: Disconnect list"));
  // Hiding the status bar keeps the text.
  p.form.ShowStatusbar(false);
  p.form.ShowStatusbar(true);
  QCOMPARE(p.form.StatusPanels[0]->text(), QString("Disconnect status: Disconnect list"));
  // A toolbar button's tip takes no panel's place.
  QStatusTipEvent tip("Help");
  QApplication::sendEvent(p.form.ToolBar->widgetForAction(p.form.HelpToolButton), &tip);
  QVERIFY(p.form.statusBar()->currentMessage().isEmpty());
  QCOMPARE(p.form.StatusPanels[0]->text(), QString("Disconnect status: Disconnect list"));
}

void MainWindowTest::TooltipIsCutAt62Characters() {
  Program p;
  const std::string text(80, 'x');
  p.form.SetTrayTooltip(text);
  QCOMPARE(p.form.TrayIcon->toolTip().size(), 62);
  p.form.SetTrayTooltip("2 connection(s) / 5 open file(s)");
  QCOMPARE(p.form.TrayIcon->toolTip(), QString("2 connection(s) / 5 open file(s)"));
}

void MainWindowTest::ClearKeepsTheOpenConnectionsAfterYes() {
  Program p;
  p.Connect("GONE", "DOCS");
  p.app->Tick();
  p.backend->tables = {{{"DOCS", "/srv/docs", 0}}, {}, {}, {}};
  p.Connect("PC1", "DOCS");
  p.app->Tick();
  QStringList asked;
  {
    ModalDriver driver;
    driver.On("", test::Note(&asked, QMessageBox::No));
    p.form.ClearformerconnectionsClick();
    QVERIFY(driver.Finished());
  }
  QCOMPARE(p.M().FormerUserCount, 2);
  {
    ModalDriver driver;
    driver.On("", test::Note(&asked, QMessageBox::Yes));
    p.form.ClearformerconnectionsClick();
    QVERIFY(driver.Finished());
  }
  QCOMPARE(asked, QStringList({"Are you sure?", "Are you sure?"}));
  QCOMPARE(p.M().FormerUserCount, 1);
  QCOMPARE(p.form.TreeViewFormer->model()->rowCount(), 1);
  QCOMPARE(p.M().TreeViewFormer.TopLevel(0)->Data(), p.M().TreeViewCurrent.TopLevel(0)->Data());
  p.form.CollapseformerconnectionsClick();
  QVERIFY(!p.form.TreeViewFormer->isExpanded(p.form.TreeViewFormer->model()->index(0, 0)));
}

void MainWindowTest::CaptionAndCountsFollowTheTick() {
  Program p;
  p.app->Tick();
  QCOMPARE(p.form.windowTitle(), QString("Quillmoor 98 - 0 connection(s)"));
  p.Connect("PC1", "DOCS");
  p.Connect("PC2", "PUB");
  p.app->Tick();
  QCOMPARE(p.form.windowTitle(), QString("Quillmoor 98 - 2 connection(s)"));
  QCOMPARE(p.form.TrayIcon->toolTip(), QString("2 connection(s) / 0 open file(s)"));
  QCOMPARE(p.form.TreeViewCurrent->model()->rowCount(), 2);
}

void MainWindowTest::StatusTextsStayWholeAtTheDefaultSize() {
  Program p;
  p.Connect("PC1", "DOCS");
  p.app->Tick();
  p.form.resize(450, 350);
  p.form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&p.form));
  auto whole = [&] {
    for (int i = 0; i < 2; ++i) {
      QLabel* panel = p.form.StatusPanels[i];
      QApplication::processEvents();
      const int room = panel->contentsRect().width();
      if (room < panel->fontMetrics().horizontalAdvance(panel->text())) return panel->text();
    }
    const QRect first = p.form.StatusPanels[0]->geometry();
    return first.right() < p.form.StatusPanels[1]->geometry().left() ? QString() : "overlap";
  };
  // A long word on the server in the last panel pushes nothing aside.
  p.form.ServerNotice("Waiting for the server service... and a long reason besides");
  for (KickStatus who : {KickNobody, KickList, KickAll}) {
    p.app->Rules().Status().SetWhoToKick(who);
    QCOMPARE(whole(), QString());
  }
  p.form.PageControl->setCurrentIndex(1);
  QCOMPARE(p.form.StatusPanels[1]->text(), QString("Number of former users: 1"));
  QCOMPARE(whole(), QString());
}

void MainWindowTest::TitlesAreExactlyTheirCaptions() {
  Program p;
  p.app->Tick();
  p.Connect("PC1", "DOCS");
  p.app->Tick();
  QCOMPARE(p.form.windowTitle(), QString("Quillmoor 98 - 1 connection(s)"));
  // Qt appends a display name, once set, to every window's title.
  QCOMPARE(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
}

void MainWindowTest::WindowsComeBackOntoTheScreen() {
  Program p;
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  auto onScreen = [&](const WindowBounds& b) {
    return screen.contains(QRect(b.Left, b.Top, b.Width, b.Height));
  };
  auto placed = [&] {
    return WindowBounds{p.form.y(), p.form.x(), p.form.height(), p.form.width()};
  };
  // Stored on a wider screen, and at twice the scale: the window comes onto
  // this one, the stored size stays for the next run.
  p.form.ApplyMainWindowBounds({100, screen.right() + 320, 500, 700});
  QVERIFY(onScreen(placed()));
  const WindowBounds large{-40, -40, screen.height() * 2, screen.width() * 2};
  p.form.ApplyMainWindowBounds(large);
  QVERIFY(onScreen(placed()));
  p.form.Start();
  QCOMPARE(p.form.MainWindowBounds().Height, large.Height);
  // Maximized, then to the notification area and closed from there: the
  // restored size and the maximized state, apart.
  p.form.AppRestore();
  p.form.showMaximized();
  QTRY_VERIFY(p.form.isMaximized());
  p.form.AppMinimize();
  p.form.RestoreWindowState();
  QVERIFY(p.form.MainWindowBounds().Maximized);
  QCOMPARE(p.form.MainWindowBounds().Width, large.Width);
  p.form.ApplyKickListBounds({screen.bottom() + 50, 10, 300, 250});
  QVERIFY(onScreen(p.form.KickListBounds()));
  // A dialog centred on a window that stands mostly off the screen.
  p.form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&p.form));
  p.form.move(screen.right() - 60, screen.bottom() - 60);
  QRect shown;
  ModalDriver driver;
  driver.On("Disconnect", [&](QDialog& d) {
    shown = d.frameGeometry();
    d.reject();
  });
  p.form.KickClick();
  QVERIFY(driver.Finished());
  QVERIFY2(screen.contains(shown), qPrintable(QString("%1,%2 %3x%4")
                                                  .arg(shown.x())
                                                  .arg(shown.y())
                                                  .arg(shown.width())
                                                  .arg(shown.height())));
}

void MainWindowTest::ArrivalsOfOneTickMakeOneNotificationAndOneSound() {
  Program p;
  p.app->GetSettings().Notify = true;
  // No sound file chosen: every alert is a beep, whatever the computer has.
  p.app->GetSettings().Siren = true;
  p.app->GetSettings().Standard = false;
  p.app->GetSettings().SoundFile.clear();
  int beeps = 0;
  p.form.Sound().SetBeep([&beeps] { ++beeps; });
  p.app->Tick();
  QSignalSpy notified(&p.form, &TMainForm::ArrivalsNotified);
  for (const char* client : {"PC1", "PC2", "PC3", "PC4"}) p.Connect(client, "DOCS");
  p.app->Tick();
  QTRY_COMPARE(notified.count(), 1);
  QCOMPARE(beeps, 1);
  QCOMPARE(notified[0][0].toString(), QString("New connections"));
  QCOMPARE(notified[0][1].toString(), QString("4 new connections: PC1, PC2, PC3, PC4"));
  p.Connect("PC5", "PUB");
  p.app->Tick();
  QTRY_COMPARE(notified.count(), 2);
  QCOMPARE(notified[1][1].toString(), QString("PC5 connected to PUB"));
  QCOMPARE(beeps, 2);
  // A crowd is named in part.
  std::vector<TMainForm::Arrival> crowd(12, {"PC", "DOCS"});
  QVERIFY(TMainForm::ArrivalsMessage(crowd).endsWith(", PC and 2 more"));
}

void MainWindowTest::OpenSaysWhyItCannot() {
  Program p;
  const QString path = p.dir.path() + "/report.xyz";
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.close();
  bool handler = false;  // for smb:// addresses
  ShellOpen shell(
      p.messages, [](const QUrl&) { return false; },
      [&](const QString&, std::function<void(bool)> answer) { answer(handler); });
  QStringList said;
  ModalDriver driver;
  for (int box = 0; box < 4; ++box) driver.On("", test::Note(&said, QMessageBox::Ok));
  shell.OpenFile(path.toStdString());
  shell.OpenFile((p.dir.path() + "/gone.xyz").toStdString());
  shell.OpenComputer("PC1");
  handler = true;
  shell.OpenComputer("PC1");
  QVERIFY(driver.Finished());
  QCOMPARE(said,
           QStringList({ShellOpen::kNoProgram, "File not found", ShellOpen::kNoBrowser,
                        "Computer is not accessible: the desktop could not open smb://pc1/"}));
}

void MainWindowTest::LongPathsScrollAndShowWhole() {
  Program p;
  const std::string path = "/srv/docs/invoices/2026/march/customer-invoice-00421-final-copy.pdf";
  p.Connect("PC1", "DOCS");
  p.backend->tables.files.push_back({"DOCS", "PC1", "user-PC1", path});
  p.app->Tick();
  p.form.resize(p.form.minimumWidth(), 350);
  p.form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&p.form));
  ConnectionTreeView* view = p.form.TreeViewCurrent;
  const QModelIndex file =
      view->TreeModel()->IndexOf(p.M().TreeViewCurrent.TopLevel(0)->Child(0)->Child(0));
  QCOMPARE(file.data(Qt::ToolTipRole).toString(), QString::fromStdString(path));
  QTRY_VERIFY(view->horizontalScrollBar()->maximum() > 0);
  const int needed = view->fontMetrics().horizontalAdvance(QString::fromStdString(path));
  QVERIFY(view->visualRect(file).width() >= needed);
}

void MainWindowTest::CurrentTreeDrawsNoExpandButtons() {
  Program p;
  p.Connect("PC1", "DOCS");
  p.backend->tables.files.push_back({"DOCS", "PC1", "user-PC1", "/srv/docs/a.txt"});
  p.app->Tick();
  p.form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&p.form));
  // The room left of a share's icon, where an expand button would be.
  auto buttonRoomIsBlank = [&](ConnectionTreeView* view, TreeNode* share) {
    view->selectionModel()->clear();
    const QRect row = view->visualRect(view->TreeModel()->IndexOf(share));
    const QImage image = view->viewport()->grab().toImage();
    const QRect room(row.left() - view->indentation(), row.top(), view->indentation(),
                     row.height());
    const QRgb blank = image.pixel(view->viewport()->width() - 2, row.center().y());
    for (int x = room.left(); x <= room.right(); ++x)
      for (int y = room.top(); y <= room.bottom(); ++y)
        if (image.pixel(x, y) != blank) return false;
    return true;
  };
  QVERIFY(buttonRoomIsBlank(p.form.TreeViewCurrent, p.M().TreeViewCurrent.TopLevel(0)->Child(0)));
  p.form.PageControl->setCurrentIndex(1);
  p.form.TreeViewFormer->expandAll();
  QVERIFY(!buttonRoomIsBlank(p.form.TreeViewFormer, p.M().TreeViewFormer.TopLevel(0)->Child(0)));
}

void MainWindowTest::DialogsOfferOnlyTheirTitleBarButtons() {
  Program p;
  for (QDialog* dialog : std::initializer_list<QDialog*>{
           p.form.OptionsForm, p.form.KickForm, p.form.KickListForm, p.form.UserNameForm,
           p.form.ProgramNameForm, p.form.AboutForm}) {
    const Qt::WindowFlags flags = dialog->windowFlags();
    QVERIFY2(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)),
             qPrintable(dialog->windowTitle()));
    QCOMPARE(bool(flags & Qt::WindowCloseButtonHint), dialog != p.form.AboutForm);
    // A title without any button takes both hints.
    QVERIFY(flags.testFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint));
    // Only the Disconnect List may be resized, so no other offers to maximise.
    dialog->show();
    QCOMPARE(dialog->minimumSize() == dialog->maximumSize(), dialog != p.form.KickListForm);
    dialog->hide();
  }
}

void MainWindowTest::HelpIsFoundBesideTheProgram() {
  Program p;  // its data folder is a folder of its own, without the help file
  p.form.HelpClick();
  QTextBrowser* browser = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* b = w->findChild<QTextBrowser*>("HelpBrowser")) browser = b;
  }
  QVERIFY(browser);
  QFile help(QCoreApplication::applicationDirPath() + "/Quillmoor98.hlp");
  QVERIFY(help.exists());
  QVERIFY(!browser->toPlainText().contains("cannot be read"));
  QVERIFY(!browser->toPlainText().trimmed().isEmpty());
  browser->window()->close();
}

void MainWindowTest::ActivationNeverWaitsForTheServer() {
  Program p;
  p.backend->failures[ServerCall::NetShareEnum] = 2114;  // the service is down
  p.form.Start();
  QCOMPARE(p.form.StatusPanels[2]->toolTip(), QString("Waiting for the server service..."));
  QVERIFY(!p.form.RefreshTimer.isActive());
  p.backend->failures.clear();
  QTRY_VERIFY_WITH_TIMEOUT(p.form.RefreshTimer.isActive(), 5000);
  QCOMPARE(p.form.StatusPanels[2]->toolTip(), QString());
}

void MainWindowTest::InfoPanelsReadAsTheSchemeChanges() {
  Program p;
  p.Connect("PC1", "DOCS");
  p.app->Tick();
  // A value given while the window is hidden has its room once shown.
  const QString host = "accounting-pc.office.lan";
  p.form.InfoLabelChanged(IPTextCuLabel, host.toStdString());
  p.form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&p.form));
  QLabel* value = p.form.InfoLabels[IPTextCuLabel];
  QVERIFY(value->fontMetrics().horizontalAdvance(host) <= value->width());
  QCOMPARE(value->text(), host);
  p.M().TreeViewCurrent.Select(p.M().TreeViewCurrent.TopLevel(0));
  p.M().TreeViewFormer.Select(p.M().TreeViewFormer.TopLevel(0));
  const QPalette before = QApplication::palette();
  const QPalette dark(QColor("#424245"), QColor("#222020"));
  // The desktop changes the scheme while the window is open, as its theme
  // plugin does: the texts read on what the style paints behind them (it
  // tints the page), and the captions keep a hue.
  for (const QPalette& scheme : {dark, before, dark}) {
    QApplication::setPalette(scheme);
    for (int page : {0, 1}) {
      p.form.PageControl->setCurrentIndex(page);
      QTest::qWait(10);
      auto* panel = p.form.PageControl->currentWidget()->findChild<InfoPanel*>();
      const QImage shot =
          p.form.grab(QRect(panel->mapTo(&p.form, QPoint(0, 0)), panel->size())).toImage();
      for (QLabel* label : panel->findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue;
        const QColor back = shot.pixel(label->geometry().topLeft());  // above the text
        const QColor text = label->palette().color(QPalette::WindowText);
        QVERIFY2(ContrastRatio(text, back) >= 4.5,
                 qPrintable(label->text() + " " + text.name() + " on " + back.name()));
        const bool caption = label->text().endsWith(':');
        QVERIFY2(!caption || text.hslSaturation() > 0, qPrintable(label->text()));
        QVERIFY(!label->font().italic());
      }
    }
  }
  QApplication::setPalette(before);
}

void MainWindowTest::KeyboardAndScreenReader() {
  Program p;
  p.Connect("PC1", "DOCS");
  p.app->Tick();
  p.form.show();
  QVERIFY(QTest::qWaitForWindowActive(&p.form));
  // Focus entering a page whose tree has no selection selects its top node.
  p.form.PageControl->tabBar()->setFocus();
  p.M().TreeViewCurrent.Select(nullptr);
  p.form.TreeViewCurrent->setFocus();
  QCOMPARE(p.M().TreeViewCurrent.Selected(), p.M().TreeViewCurrent.TopLevel(0));
  // F1 opens the help.
  QTest::keyClick(&p.form, Qt::Key_F1);
  auto* help = p.form.findChild<QTextBrowser*>("HelpBrowser");
  QVERIFY(help && help->isVisible());
  help->window()->close();
  // What a screen reader says of every control and value (the dialogs are
  // the window's children).
  QStringList unnamed;
  for (QWidget* w : p.form.findChildren<QWidget*>()) {
    const bool value = std::count(std::begin(p.form.InfoLabels), std::end(p.form.InfoLabels), w);
    if ((w->focusPolicy() == Qt::NoFocus && !value) || w->inherits("QScrollBar") ||
        w->inherits("QTabBar")) {
      continue;
    }
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    if (a && a->text(QAccessible::Name).trimmed().isEmpty())
      unnamed << w->metaObject()->className();
  }
  QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
}

void MainWindowTest::SelectedRowKeepsItsPlaceOnScreen() {
  Program p;
  for (int i = 10; i < 90; ++i) p.Connect("PC" + std::to_string(i), "DOCS");
  p.app->Tick();
  p.form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&p.form));
  ConnectionTreeView* view = p.form.TreeViewCurrent;
  TreeNode* chosen = p.M().TreeViewCurrent.TopLevel(50);
  p.M().TreeViewCurrent.Select(chosen);
  view->scrollTo(view->TreeModel()->IndexOf(chosen), QAbstractItemView::PositionAtCenter);
  QApplication::processEvents();
  const int top = view->visualRect(view->TreeModel()->IndexOf(chosen)).top();
  // Ten users above it leave, a new one arrives.
  auto& connections = p.backend->tables.connections;
  auto& sessions = p.backend->tables.sessions;
  connections.erase(connections.begin() + 20, connections.begin() + 30);
  sessions.erase(sessions.begin() + 20, sessions.begin() + 30);
  p.Connect("NEW", "DOCS");
  p.app->Tick();
  QTest::qWait(50);
  QCOMPARE(view->visualRect(view->TreeModel()->IndexOf(chosen)).top(), top);
}

void MainWindowTest::NotificationsGoThroughTheDesktopService() {
  if (busAddress_.isEmpty()) QSKIP("dbus-daemon is not installed");
  FakeNotificationService service;
  QDBusConnection fake = QDBusConnection::connectToBus(busAddress_, "fake");
  QVERIFY(fake.registerObject("/org/freedesktop/Notifications", &service,
                              QDBusConnection::ExportAllSlots));
  QVERIFY(fake.registerService("org.freedesktop.Notifications"));
  Program p;
  p.app->GetSettings().Notify = true;
  p.app->Tick();
  p.Connect("PC1", "DOCS");
  p.Connect("PC2", "PUB");
  p.app->Tick();
  QTRY_COMPARE(service.calls.size(), std::size_t{1});
  const QVariantList call = service.calls.front();
  QCOMPARE(call[1].toString(), QString("2 new connections: PC1, PC2"));
  QVERIFY(call[2].toStringList().contains("default"));
  QVERIFY(call[3].toMap().contains("image-data"));
  // Its default action brings the window.
  QDBusMessage action = QDBusMessage::createSignal(
      "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked");
  fake.send(action << 7u << QString("default"));
  QTRY_VERIFY(p.form.isVisible());
  QDBusConnection::disconnectFromBus("fake");
}

}  // namespace qm

QTEST_MAIN(qm::MainWindowTest)
#include "MainWindowTest.moc"
