// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The Qt boxes behind the program's messages and password prompts, driven
// as a person would answer them.
#include <QKeyEvent>
#include <QLineEdit>
#include <QtTest>

#include "ModalDriver.h"
#include "ui/QtMessageBoxes.h"

namespace qm {

using test::ModalDriver;

class QtMessageBoxesTest : public QObject {
  Q_OBJECT

 private slots:
  void InformationAndErrorHaveOneOkButton();
  void ConfirmAnswersYesOrNo();
  void PromptHidesTypingAndTakesAtMost255();
  void PromptCancelIsNoEntry();
  void UnansweredBoxIsShutByWatchdog();
};

void QtMessageBoxesTest::InformationAndErrorHaveOneOkButton() {
  QtMessageBoxes boxes;
  QList<QMessageBox::Icon> icons;
  QStringList texts;
  auto note = [&](QDialog& d) {
    auto* box = qobject_cast<QMessageBox*>(&d);
    QVERIFY(box);
    icons.push_back(box->icon());
    texts.push_back(box->text());
    QCOMPARE(box->buttons().size(), 1);
    QCOMPARE(box->standardButtons(), QMessageBox::Ok);
    box->button(QMessageBox::Ok)->click();
  };
  ModalDriver driver;
  driver.On({}, note).On({}, note);
  boxes.Information("No user selected");
  boxes.Error("Incorrect Password");
  QVERIFY(driver.Finished());
  QCOMPARE(texts, (QStringList{"No user selected", "Incorrect Password"}));
  QCOMPARE(icons, (QList<QMessageBox::Icon>{QMessageBox::Information, QMessageBox::Critical}));
}

void QtMessageBoxesTest::ConfirmAnswersYesOrNo() {
  QtMessageBoxes boxes;
  QStringList texts;
  ModalDriver driver;
  driver.On({}, test::Note(&texts, QMessageBox::Yes))
      .On({}, test::Note(&texts, QMessageBox::No))
      .On({}, test::Reject);  // Escape or the close box
  QVERIFY(boxes.Confirm("Are you sure?"));
  QVERIFY(!boxes.Confirm("Are you sure?"));
  QVERIFY(!boxes.Confirm("Are you sure?"));
  QVERIFY(driver.Finished());
  QCOMPARE(texts, (QStringList{"Are you sure?", "Are you sure?"}));
}

void QtMessageBoxesTest::PromptHidesTypingAndTakesAtMost255() {
  QtMessageBoxes boxes;
  QLineEdit::EchoMode echo = QLineEdit::Normal;
  QString label;
  ModalDriver driver;
  driver.On(QStringLiteral("Security check"), [&](QDialog& d) {
    auto* box = qobject_cast<QInputDialog*>(&d);
    QVERIFY(box);
    label = box->labelText();
    auto* edit = box->findChild<QLineEdit*>();
    QVERIFY(edit);
    echo = edit->echoMode();
    for (int i = 0; i < 300; ++i) {  // typed: two bytes each in UTF-8
      QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(0x436)));
      QApplication::sendEvent(edit, &key);
    }
    QCOMPARE(edit->text().size(), 255);
    box->accept();
  });
  const std::string entry = boxes.Prompt("Security check", "Enter Admin Password");
  QVERIFY(driver.Finished());
  QCOMPARE(echo, QLineEdit::Password);
  QCOMPARE(label, QStringLiteral("Enter Admin Password"));
  QCOMPARE(QString::fromStdString(entry), QString(255, QChar(0x436)));
}

void QtMessageBoxesTest::PromptCancelIsNoEntry() {
  QtMessageBoxes boxes;
  ModalDriver driver;
  driver.On(QStringLiteral("Change Admin Password"), [&](QDialog& d) {
    qobject_cast<QInputDialog*>(&d)->setTextValue(QStringLiteral("typed"));
    d.reject();
  });
  QCOMPARE(boxes.PromptOrCancel("Change Admin Password", "Enter New Password"), std::nullopt);
  QVERIFY(driver.Finished());
}

void QtMessageBoxesTest::UnansweredBoxIsShutByWatchdog() {
  QtMessageBoxes boxes;
  ModalDriver driver(300);  // no step answers this box
  QVERIFY(!boxes.Confirm("Are you sure?"));
  QVERIFY(driver.TimedOut());
  QVERIFY(!driver.Finished());
}

}  // namespace qm

QTEST_MAIN(qm::QtMessageBoxesTest)
#include "QtMessageBoxesTest.moc"
