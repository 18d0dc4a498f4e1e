// The main window over a running program on an in-memory server: context
// menus per node kind and their enabling, the pages' status text, the tray
// menu's status in step with the status bar, the tooltip's limit, and the
// history commands.
#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "ModalDriver.h"
#include "app/Application.h"
#include "core/ConnectionTree.h"
#include "platform/InMemoryServerBackend.h"
#include "ui/ConnectionTreeModel.h"
#include "ui/ConnectionTreeView.h"
#include "ui/QtMessageBoxes.h"
#include "ui/TMainForm.h"

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

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void ContextMenusPerNodeKind();
  void FormerPageEnablesDeleteOnlyForEndedVisits();
  void TrayMenuAndStatusBarStayInStep();
  void TooltipIsCutAt62Characters();
  void ClearKeepsTheOpenConnectionsAfterYes();
  void CaptionAndCountsFollowTheTick();
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

}  // namespace qm

QTEST_MAIN(qm::MainWindowTest)
#include "MainWindowTest.moc"
