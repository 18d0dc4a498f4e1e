// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The tree model and view follow a connection tree through every kind of
// change: checked by Qt's model tester, by walking model and tree side by
// side, and by the view's expansion and selection.
#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QSignalSpy>
#include <QtTest>
#include <random>
#include <vector>

#include "core/Monitor.h"
#include "core/OwningConnectionTree.h"
#include "core/RefreshCycle.h"
#include "platform/InMemoryServerBackend.h"
#include "ui/ConnectionTreeModel.h"
#include "ui/ConnectionTreeView.h"
#include "ui/QtFileIcons.h"
#include "ui/TreeImageList.h"

namespace qm {

namespace {

std::vector<TreeNode*> AllNodes(const ConnectionTree& tree) {
  std::vector<TreeNode*> nodes;
  tree.ForEach([&](TreeNode& n) { nodes.push_back(&n); });
  return nodes;
}

// The model shows exactly the tree: same rows, texts, parents and nodes.
void ExpectMirrors(const ConnectionTreeModel& model, const QModelIndex& parent,
                   const TreeNode* node, int* seen) {
  const int rows = node ? node->ChildCount() : model.Tree().TopLevelCount();
  QCOMPARE(model.rowCount(parent), rows);
  for (int r = 0; r < rows; ++r) {
    const TreeNode* child = node ? node->Child(r) : model.Tree().TopLevel(r);
    const QModelIndex i = model.index(r, 0, parent);
    QVERIFY(i.isValid());
    QCOMPARE(model.NodeOf(i), child);
    QCOMPARE(model.parent(i), parent);
    QCOMPARE(i.data().toString(), QString::fromStdString(child->Text()));
    // Only a file row (level 2) says it never has children.
    QCOMPARE(model.flags(i),
             Qt::ItemIsEnabled | Qt::ItemIsSelectable |
                 (child->Level() == 2 ? Qt::ItemNeverHasChildren : Qt::NoItemFlags));
    ++*seen;
    ExpectMirrors(model, i, child, seen);
  }
}

bool AncestorsExpanded(const TreeNode* n) {
  for (const TreeNode* p = n->Parent(); p; p = p->Parent()) {
    if (!p->Expanded()) return false;
  }
  return true;
}

// The view shows every Expanded flag, as a mark and as laid out, and the
// tree's selected node.
void ExpectViewFollows(const ConnectionTreeView& view, const ConnectionTree& tree) {
  const ConnectionTreeModel* model = view.TreeModel();
  for (TreeNode* n : AllNodes(tree)) {
    if (n->ChildCount() == 0) continue;
    const QModelIndex i = model->IndexOf(n);
    QCOMPARE(view.isExpanded(i), n->Expanded());
    if (AncestorsExpanded(n)) {
      QCOMPARE(view.visualRect(model->index(0, 0, i)).isEmpty(), !n->Expanded());
    }
  }
  QCOMPARE(model->NodeOf(view.currentIndex()), tree.Selected());
}

class Fixture {
 public:
  Fixture()
      : model(tree, images),
        tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest) {
    view.SetTreeModel(&model);
    view.resize(300, 400);
    view.show();
  }
  OwningConnectionTree tree;
  TreeImageList images;
  ConnectionTreeModel model;
  QAbstractItemModelTester tester;
  ConnectionTreeView view;
};

std::unique_ptr<TTreeNodeCustom> Record(const std::string& name) {
  return std::make_unique<TShare>(name, false, 45000.0);
}

}  // namespace

class ConnectionTreeModelTest : public QObject {
  Q_OBJECT

 private slots:
  void RandomEditsKeepModelAndViewConsistent_data();
  void RandomEditsKeepModelAndViewConsistent();
  void DataShowsTextAndImage();
  void UserExpandingAndCollapsingReachesTree();
  void SelectionFollowsBothWays();
  void RemovingSelectedNodeLeavesNothingSelected();
  void MakeVisibleExpandsParentsInView();
  void ViewAttachedLateShowsExistingExpansion();
  void TicksMoveRowsWithoutReset();
  void ArrivingWideRowWidensTheColumnAtOnce();
};

void ConnectionTreeModelTest::RandomEditsKeepModelAndViewConsistent_data() {
  QTest::addColumn<unsigned>("seed");
  for (unsigned seed : {1u, 7u, 42u, 2024u})
    QTest::newRow(qPrintable(QString::number(seed))) << seed;
}

void ConnectionTreeModelTest::RandomEditsKeepModelAndViewConsistent() {
  QFETCH(unsigned, seed);
  Fixture f;
  QSignalSpy resets(&f.model, &QAbstractItemModel::modelAboutToBeReset);
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  int nextName = 0;
  for (int step = 0; step < 2500; ++step) {
    const std::vector<TreeNode*> nodes = AllNodes(f.tree);
    const int op = pick(100);
    // Names repeat on purpose: the tree keeps same-named siblings apart.
    const std::string name = "N" + std::to_string(nextName++ % 40);
    if (op < 20 || nodes.empty()) {
      f.tree.AddOwned(nullptr, name, Record(name));
    } else if (op < 55) {
      TreeNode* parent = nodes[pick(static_cast<int>(nodes.size()))];
      if (parent->Level() < 2) f.tree.AddOwned(parent, name, Record(name));
    } else if (op < 80) {
      f.tree.Delete(nodes[pick(static_cast<int>(nodes.size()))]);
    } else if (op < 85) {
      f.tree.SetImages(nodes[pick(static_cast<int>(nodes.size()))], pick(6));
    } else if (op < 90) {
      f.tree.SetExpanded(nodes[pick(static_cast<int>(nodes.size()))], pick(2) == 0);
    } else if (op < 93) {
      f.tree.MakeVisible(nodes[pick(static_cast<int>(nodes.size()))]);
    } else if (op < 98) {
      f.tree.Select(pick(4) == 0 ? nullptr : nodes[pick(static_cast<int>(nodes.size()))]);
    } else if (op < 99) {
      f.tree.ExpandAll();
    } else {
      f.tree.Clear([&](const TTreeNodeCustom&) { return pick(2) == 0; });
    }
    if (QTest::currentTestFailed())
      QFAIL(qPrintable(QString("model tester failed at step %1").arg(step)));
    if (step % 25 == 0) {
      // Let the view lay itself out and paint, as it would between ticks.
      QCoreApplication::processEvents();
      f.view.grab();
      int seen = 0;
      ExpectMirrors(f.model, QModelIndex(), nullptr, &seen);
      QCOMPARE(seen, f.tree.Count());
      ExpectViewFollows(f.view, f.tree);
      if (QTest::currentTestFailed()) return;
    }
  }
  QCOMPARE(resets.count(), 0);
}

void ConnectionTreeModelTest::DataShowsTextAndImage() {
  Fixture f;
  const QIcon extra(QStringLiteral(":/toolbar/help.svg"));
  const int extraIndex = f.images.Add(extra);
  TreeNode* user = f.tree.AddOwned(nullptr, "PC1", Record("PC1"));
  TreeNode* file = f.tree.AddOwned(user, "/srv/a.txt", Record("/srv/a.txt"));
  QSignalSpy changed(&f.model, &QAbstractItemModel::dataChanged);
  f.tree.SetImages(user, kImagePrintShare);
  f.tree.SetImages(file, extraIndex);
  // Only the rows whose image changed are repainted.
  QCOMPARE(changed.count(), 2);
  QCOMPARE(changed[0][0].toModelIndex(), f.model.IndexOf(user));
  QCOMPARE(changed[1][1].toModelIndex(), f.model.IndexOf(file));
  const QModelIndex u = f.model.IndexOf(user);
  const QModelIndex fi = f.model.IndexOf(file);
  QCOMPARE(u.data(Qt::DisplayRole).toString(), QStringLiteral("PC1"));
  QCOMPARE(fi.data(Qt::DisplayRole).toString(), QStringLiteral("/srv/a.txt"));
  QCOMPARE(u.data(Qt::DecorationRole).value<QIcon>().cacheKey(),
           f.images.Image(kImagePrintShare).cacheKey());
  QCOMPARE(fi.data(Qt::DecorationRole).value<QIcon>().cacheKey(), extra.cacheKey());
  // An index past the list falls back to the generic file image.
  f.tree.SetImages(file, 999);
  QCOMPARE(fi.data(Qt::DecorationRole).value<QIcon>().cacheKey(),
           f.images.Image(kImageFile).cacheKey());
  QVERIFY(!(f.model.flags(u) & Qt::ItemIsEditable));
}

void ConnectionTreeModelTest::UserExpandingAndCollapsingReachesTree() {
  Fixture f;
  TreeNode* user = f.tree.AddOwned(nullptr, "PC1", Record("PC1"));
  f.tree.AddOwned(user, "DOCS", Record("DOCS"));
  f.view.expand(f.model.IndexOf(user));
  QVERIFY(user->Expanded());
  f.view.collapse(f.model.IndexOf(user));
  QVERIFY(!user->Expanded());
  // The tree's own ExpandAll is not fooled by a collapse made in the view.
  f.tree.ExpandAll();
  QVERIFY(f.view.isExpanded(f.model.IndexOf(user)));
}

void ConnectionTreeModelTest::SelectionFollowsBothWays() {
  Fixture f;
  TreeNode* a = f.tree.AddOwned(nullptr, "A", Record("A"));
  TreeNode* b = f.tree.AddOwned(nullptr, "B", Record("B"));
  f.tree.Select(b);
  QCOMPARE(f.view.currentIndex(), f.model.IndexOf(b));
  f.view.setCurrentIndex(f.model.IndexOf(a));
  QCOMPARE(f.tree.Selected(), a);
  f.tree.Select(nullptr);
  QVERIFY(!f.view.currentIndex().isValid());
}

void ConnectionTreeModelTest::RemovingSelectedNodeLeavesNothingSelected() {
  Fixture f;
  f.tree.AddOwned(nullptr, "A", Record("A"));
  TreeNode* b = f.tree.AddOwned(nullptr, "B", Record("B"));
  TreeNode* file = f.tree.AddOwned(b, "f", Record("f"));
  f.tree.AddOwned(nullptr, "C", Record("C"));
  f.tree.Select(file);
  // The view would move its current row to a neighbour; the tree decides.
  f.tree.Delete(b);
  QCOMPARE(f.tree.Selected(), nullptr);
  QVERIFY(!f.view.currentIndex().isValid());
  // Until the view hears of the removal, the rows stay, neither selectable
  // nor with children.
  const QModelIndex dropped = f.model.index(1, 0);
  QCOMPARE(f.model.flags(dropped), Qt::ItemNeverHasChildren);
  QCOMPARE(f.model.flags(f.model.index(0, 0, dropped)), Qt::ItemNeverHasChildren);
  QCoreApplication::processEvents();
  QVERIFY(!f.view.currentIndex().isValid());
  QCOMPARE(f.model.rowCount(), 2);
}

void ConnectionTreeModelTest::MakeVisibleExpandsParentsInView() {
  Fixture f;
  f.view.resize(200, 60);
  TreeNode* last = nullptr;
  for (int u = 0; u < 30; ++u) {
    TreeNode* user = f.tree.AddOwned(nullptr, "PC" + std::to_string(u), Record("u"));
    last = f.tree.AddOwned(user, "SHARE", Record("s"));
  }
  QSignalSpy shown(&f.model, &ConnectionTreeModel::NodeMadeVisible);
  f.tree.MakeVisible(last);
  QCOMPARE(shown.count(), 1);
  QVERIFY(f.view.isExpanded(f.model.IndexOf(last->Parent())));
  QTRY_VERIFY(f.view.viewport()->rect().intersects(f.view.visualRect(f.model.IndexOf(last))));
}

void ConnectionTreeModelTest::ViewAttachedLateShowsExistingExpansion() {
  OwningConnectionTree tree;
  TreeImageList images;
  TreeNode* user = tree.AddOwned(nullptr, "PC1", Record("PC1"));
  TreeNode* share = tree.AddOwned(user, "DOCS", Record("DOCS"));
  tree.AddOwned(share, "f", Record("f"));
  tree.SetExpanded(user, true);
  tree.Select(share);
  ConnectionTreeModel model(tree, images);
  ConnectionTreeView view;
  view.SetTreeModel(&model);
  QVERIFY(view.isExpanded(model.IndexOf(user)));
  QVERIFY(!view.isExpanded(model.IndexOf(share)));
  QCOMPARE(view.currentIndex(), model.IndexOf(share));
}

void ConnectionTreeModelTest::TicksMoveRowsWithoutReset() {
  ManualClock clock;
  Settings settings;
  settings.Siren = false;
  settings.MaxNumber = 0;
  settings.Idle = 0;
  InMemoryServerBackend backend;
  ServerApi api(backend);
  TreeImageList images;
  QtFileIcons icons(images);
  MonitorPorts ports;
  ports.clock = &clock;
  ports.icons = &icons;
  Monitor monitor(api, settings, ports);
  RefreshCycle cycle(monitor);
  api.LoadServerApi();
  backend.tables.shares = {{"DOCS", "/srv/docs", 0}, {"LASER", "", 1}};

  ConnectionTreeModel current(monitor.TreeViewCurrent, images);
  ConnectionTreeModel former(monitor.TreeViewFormer, images);
  QAbstractItemModelTester t1(&current, QAbstractItemModelTester::FailureReportingMode::QtTest);
  QAbstractItemModelTester t2(&former, QAbstractItemModelTester::FailureReportingMode::QtTest);
  ConnectionTreeView currentView, formerView;
  currentView.SetTreeModel(&current);
  formerView.SetTreeModel(&former);
  QSignalSpy resets(&current, &QAbstractItemModel::modelAboutToBeReset);
  QSignalSpy layouts(&current, &QAbstractItemModel::layoutAboutToBeChanged);

  auto& t = backend.tables;
  auto tick = [&] {
    clock.AdvanceSeconds(1);
    cycle.RefreshTimerTimer();
    QCoreApplication::processEvents();  // the views catch up between ticks
    int seen = 0;
    ExpectMirrors(current, QModelIndex(), nullptr, &seen);
    seen = 0;
    ExpectMirrors(former, QModelIndex(), nullptr, &seen);
    ExpectViewFollows(formerView, monitor.TreeViewFormer);
  };
  for (int c = 0; c < 5; ++c) {
    const std::string client = "PC" + std::to_string(c);
    t.connections.push_back({"DOCS", client, "u" + client});
    t.sessions.push_back({client, "u" + client, 0, "127.0.0.1"});
    t.files.push_back({"DOCS", client, "u" + client, "/srv/docs/" + client + ".txt"});
  }
  tick();
  QCOMPARE(current.rowCount(), 5);
  QCOMPARE(current.rowCount(current.index(0, 0)), 1);
  QCOMPARE(current.rowCount(current.index(0, 0, current.index(0, 0))), 1);
  RemoveClient(t, "PC1", "", nullptr);
  RemoveClient(t, "PC3", "", nullptr);
  t.connections.push_back({"LASER", "PC0", "uPC0"});
  tick();
  QCOMPARE(current.rowCount(), 3);
  QCOMPARE(former.rowCount(), 5);
  QCOMPARE(current.index(0, 0).data().toString(), QStringLiteral("PC0"));
  QCOMPARE(current.rowCount(current.index(0, 0)), 2);
  // The user who left and came back is a second Former row.
  t.connections.push_back({"DOCS", "PC1", "uPC1"});
  t.sessions.push_back({"PC1", "uPC1", 0, "127.0.0.1"});
  tick();
  QCOMPARE(current.rowCount(), 4);
  QCOMPARE(former.rowCount(), 6);
  QCOMPARE(former.index(5, 0).data().toString(), QStringLiteral("PC1"));
  // The former tree was expanded down to each new share and file.
  QVERIFY(formerView.isExpanded(former.index(0, 0)));
  QCOMPARE(resets.count(), 0);
  QCOMPARE(layouts.count(), 0);
}

void ConnectionTreeModelTest::ArrivingWideRowWidensTheColumnAtOnce() {
  Fixture f;
  QVERIFY(QTest::qWaitForWindowExposed(&f.view));
  QCoreApplication::processEvents();
  TreeNode* user = f.tree.AddOwned(nullptr, "PC1", Record("PC1"));
  TreeNode* share = f.tree.AddOwned(user, "DOCS", Record("DOCS"));
  // Wide letters and narrow ones, and one that is not ASCII.
  for (const char* text :
       {"/srv/docs/WWWWMMMM-iiiill-2026-final-copy-of-the-report.pdf",
        "/srv/docs/r\xc3\xa9sum\xc3\xa9-WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW.odt"}) {
    f.tree.AddOwned(share, text, Record(text));
    const int needed =
        f.view.indentation() * 3 + f.view.fontMetrics().horizontalAdvance(QString::fromUtf8(text));
    QVERIFY2(f.view.header()->sectionSize(0) >= needed, text);
  }
}

}  // namespace qm

QTEST_MAIN(qm::ConnectionTreeModelTest)
#include "ConnectionTreeModelTest.moc"
