// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The "Disconnect" and "Disconnect List" dialogs: the status in step with
// its other views, the list's snapshot and restore, its refusals.
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>

#include "ModalDriver.h"
#include "core/Ports.h"
#include "enforce/DisconnectStatus.h"
#include "support/RecordingMessages.h"
#include "ui/QtMessageBoxes.h"
#include "ui/TKickForm.h"
#include "ui/TKickListForm.h"

namespace qm {

using test::ModalDriver;

class DisconnectDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void RadioButtonsFollowAndSetTheStatus();
  void ClosingWithoutOkPutsTheListBack();
  void OkKeepsTheChangesAndAddressUpdates();
  void AddedNamesAreUpperCasedAndDuplicatesRefused();
  void RemoveWithNothingSelectedDoesNothing();
  void RemoveLeavesNoEntrySelected();
  void ContextMenuOnlyWithAnEntrySelected();
  void EnterPressesOkAndClearingAsksFirst();
};

namespace {
// The user name dialog as the list asks it: name and address, or nothing.
struct Answers {
  std::vector<std::pair<std::string, std::string>> queue;
  std::pair<std::string, std::string> Next() {
    if (queue.empty()) return {};
    auto a = queue.front();
    queue.erase(queue.begin());
    return a;
  }
};
}  // namespace

void DisconnectDialogsTest::RadioButtonsFollowAndSetTheStatus() {
  DisconnectStatus status;
  int listShown = 0;
  TKickForm form(status, [&] { ++listShown; });
  QVERIFY(form.KickNobodyRadioButton->isChecked());
  status.SetWhoToKick(KickList);  // e.g. from the tray menu while closed
  QVERIFY(form.KickListRadioButton->isChecked());
  ModalDriver driver;
  driver.On("Disconnect", [&](QDialog& d) {
    form.KickAllRadioButton->click();
    form.KickListButton->click();
    d.reject();  // the close box keeps the choice
  });
  form.ShowModal();
  QVERIFY(driver.Finished());
  QCOMPARE(status.WhoToKick(), KickAll);
  QCOMPARE(listShown, 1);
}

void DisconnectDialogsTest::ClosingWithoutOkPutsTheListBack() {
  DisconnectList list;
  list.AddEntry("PC1", "10.0.0.1");
  test::RecordingMessages messages;
  Answers answers{{{"pc2", "10.0.0.2"}}};
  TKickListForm form(list, messages, {[&] { return answers.Next(); }, nullptr});
  ModalDriver driver;
  driver.On("Disconnect List", [&](QDialog& d) {
    form.AddUserButton->click();
    QCOMPARE(list.Count(), std::size_t{2});
    form.ClearListButton->click();
    QCOMPARE(form.ListView->topLevelItemCount(), 0);
    d.reject();
  });
  form.ShowModal();
  QVERIFY(driver.Finished());
  QVERIFY(!form.Confirmed());
  QCOMPARE(list.Count(), std::size_t{1});
  QCOMPARE(list.Entry(0).EntryName, std::string("PC1"));
  QCOMPARE(form.ListView->topLevelItemCount(), 1);
}

void DisconnectDialogsTest::EnterPressesOkAndClearingAsksFirst() {
  DisconnectList list;
  list.AddEntry("ACCOUNTING-PC-2ND-FLOOR", "fe80::1ff:fe23:4567:890a%eth0");
  test::RecordingMessages messages;
  messages.confirmAnswer = false;
  TKickListForm form(list, messages, {});
  ModalDriver driver;
  driver.On("Disconnect List", [&](QDialog&) {
    for (int column : {0, 1}) {  // wide enough for the texts, none cut
      const QString text = form.ListView->topLevelItem(0)->text(column);
      QVERIFY(form.ListView->columnWidth(column) > form.fontMetrics().horizontalAdvance(text));
    }
    form.ClearListButton->click();  // answered No
    QCOMPARE(list.Count(), std::size_t{1});
    form.ListView->setFocus();
    QTest::keyClick(form.ListView, Qt::Key_Return);
  });
  form.ShowModal();
  QVERIFY(driver.Finished());
  QVERIFY(form.Confirmed());
  QCOMPARE(list.Count(), std::size_t{1});
  QCOMPARE(messages.shown.size(), std::size_t{1});
}

void DisconnectDialogsTest::OkKeepsTheChangesAndAddressUpdates() {
  DisconnectList list;
  list.AddEntry("PC1", "I don't know");
  test::RecordingMessages messages;
  Answers answers{{{"pc2", "10.0.0.2"}}};
  TKickListForm form(list, messages, {[&] { return answers.Next(); }, nullptr});
  ModalDriver driver;
  driver.On("Disconnect List", [&](QDialog&) {
    form.AddUserButton->click();
    list.UpdateAddress("pc1", "127.0.0.1");  // a lookup publishes meanwhile
    QCOMPARE(form.ListView->topLevelItem(0)->text(1), QString("127.0.0.1"));
    form.OKButton->click();
  });
  form.ShowModal();
  QVERIFY(driver.Finished());
  QVERIFY(form.Confirmed());
  QCOMPARE(list.Count(), std::size_t{2});
  QCOMPARE(list.Entry(0).EntryAddress, std::string("127.0.0.1"));
  QCOMPARE(list.Entry(1).EntryName, std::string("PC2"));
  QCOMPARE(list.Entry(1).EntryAddress, std::string("10.0.0.2"));
}

void DisconnectDialogsTest::AddedNamesAreUpperCasedAndDuplicatesRefused() {
  DisconnectList list;
  list.AddEntry("laptop7", "I don't know");  // read from the file in lower case
  test::RecordingMessages messages;
  Answers answers{
      {{"Desk-Pc", "I don't know"}, {"dEsK-pC", "1.2.3.4"}, {"LAPTOP7", "x"}, {"", "y"}}};
  TKickListForm form(list, messages, {[&] { return answers.Next(); }, nullptr});
  ModalDriver driver;
  driver.On("Disconnect List", [&](QDialog& d) {
    for (int i = 0; i < 4; ++i) form.AddUserButton->click();
    form.OKButton->click();
    (void)d;
  });
  form.ShowModal();
  QVERIFY(driver.Finished());
  QCOMPARE(list.Count(), std::size_t{2});
  QCOMPARE(list.Entry(1).EntryName, std::string("DESK-PC"));
  QCOMPARE(messages.shown.size(), std::size_t{2});
  QCOMPARE(messages.shown[0], std::string("info: User already in Disconnect List!"));
  QCOMPARE(messages.shown[1], std::string("info: User already in Disconnect List!"));
}

void DisconnectDialogsTest::RemoveWithNothingSelectedDoesNothing() {
  DisconnectList list;
  list.AddEntry("A", "1");
  list.AddEntry("B", "2");
  test::RecordingMessages messages;
  TKickListForm form(list, messages, {});
  ModalDriver driver;
  driver.On("Disconnect List", [&](QDialog&) {
    form.ListView->clearSelection();
    form.ListView->setCurrentItem(nullptr);
    form.RemoveUserButton->click();
    QCOMPARE(list.Count(), std::size_t{2});
    form.ListView->setCurrentItem(form.ListView->topLevelItem(1));
    form.RemoveUserButton->click();
    form.OKButton->click();
  });
  form.ShowModal();
  QVERIFY(driver.Finished());
  QCOMPARE(list.Count(), std::size_t{1});
  QCOMPARE(list.Entry(0).EntryName, std::string("A"));
}

void DisconnectDialogsTest::RemoveLeavesNoEntrySelected() {
  DisconnectList list;
  for (const char* name : {"A", "B", "C"}) list.AddEntry(name, "1");
  test::RecordingMessages messages;
  TKickListForm form(list, messages, {});
  ModalDriver driver;
  driver.On("Disconnect List", [&](QDialog&) {
    form.ListView->setCurrentItem(form.ListView->topLevelItem(0));
    form.RemoveUserButton->click();
    QVERIFY(form.ListView->selectedItems().isEmpty());
    form.RemoveUserButton->click();  // a second click has nothing to remove
    form.OKButton->click();
  });
  form.ShowModal();
  QVERIFY(driver.Finished());
  QCOMPARE(list.Count(), std::size_t{2});
  QCOMPARE(list.Entry(0).EntryName, std::string("B"));
}

void DisconnectDialogsTest::ContextMenuOnlyWithAnEntrySelected() {
  DisconnectList list;
  list.AddEntry("PC1", "1");
  test::RecordingMessages messages;
  std::vector<std::string> opened;
  TKickListForm form(list, messages, {nullptr, [&](const std::string& n) { opened.push_back(n); }});
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  form.ListView->clearSelection();
  form.ListView->setCurrentItem(nullptr);
  bool menuSeen = false;
  QTimer::singleShot(200, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      menuSeen = true;
      menu->close();
    }
  });
  emit form.ListView->customContextMenuRequested(QPoint(5, 5));
  QTest::qWait(300);
  QVERIFY(!menuSeen);
  form.ListView->setCurrentItem(form.ListView->topLevelItem(0));
  QTimer::singleShot(100, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      menuSeen = true;
      QCOMPARE(menu->actions().size(), 1);
      QCOMPARE(menu->actions()[0]->text(), QString("&Open computer"));
      menu->actions()[0]->trigger();
      menu->close();
    }
  });
  emit form.ListView->customContextMenuRequested(QPoint(5, 5));
  QTRY_VERIFY(menuSeen);
  QTRY_COMPARE(opened.size(), std::size_t{1});
  QCOMPARE(opened[0], std::string("PC1"));
}

}  // namespace qm

QTEST_MAIN(qm::DisconnectDialogsTest)
#include "DisconnectDialogsTest.moc"
