// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The small dialogs: the user name and program name dialogs' Confirmed and
// reset rules, the program browser, and the About box.
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "ModalDriver.h"
#include "ui/TAboutForm.h"
#include "ui/TProgramNameForm.h"
#include "ui/TUserNameForm.h"

namespace qm {

using test::ModalDriver;

namespace {

void MakeFile(const QString& path, QFileDevice::Permissions extra = {}) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write("x");
  f.close();
  if (extra) QVERIFY(f.setPermissions(f.permissions() | extra));
}

}  // namespace

class EntryFormsTest : public QObject {
  Q_OBJECT

 private slots:
  void UserNameEnterInAddressReturnsBothAsTyped();
  void UserNameCloseBoxResetsFields();
  void UserNameEscapeDoesNothing();
  void ShowingAgainClearsConfirmed();
  void ProgramBrowseGivesUpperCasedFullPath();
  void ProgramBrowserListsProgramsOnly();
  void ProgramCloseBoxEmptiesField();
  void AboutShowsOurTextsAndOpensLinkWithoutClosing();
};

void EntryFormsTest::UserNameEnterInAddressReturnsBothAsTyped() {
  TUserNameForm form;
  form.UserNameEdit->clear();
  form.IPAddressEdit->setText(QString::fromLatin1(TUserNameForm::kUnknownAddress));
  bool nameFocused = false;
  ModalDriver driver;
  driver.On(QStringLiteral("User name"), [&](QDialog&) {
    nameFocused = form.focusWidget() == form.UserNameEdit;
    QTest::keyClicks(form.UserNameEdit, QStringLiteral("Bob's PC"));
    form.IPAddressEdit->selectAll();
    QTest::keyClicks(form.IPAddressEdit, QStringLiteral("127.0.0.5"));
    QTest::keyClick(form.IPAddressEdit, Qt::Key_Return);
  });
  form.ShowModal();
  QVERIFY(driver.Finished());
  QVERIFY(nameFocused);
  QVERIFY(form.Confirmed());
  QCOMPARE(form.UserNameEdit->text(), QStringLiteral("Bob's PC"));
  QCOMPARE(form.IPAddressEdit->text(), QStringLiteral("127.0.0.5"));
}

void EntryFormsTest::UserNameCloseBoxResetsFields() {
  TUserNameForm form;
  ModalDriver driver;
  driver.On(QStringLiteral("User name"), [&](QDialog&) {
    QTest::keyClicks(form.UserNameEdit, QStringLiteral("PC9"));
    form.IPAddressEdit->setText(QStringLiteral("127.0.0.9"));
    form.close();
  });
  form.ShowModal();
  QVERIFY(driver.Finished());
  QVERIFY(!form.Confirmed());
  QCOMPARE(form.UserNameEdit->text(), QString());
  QCOMPARE(form.IPAddressEdit->text(), QStringLiteral("I don't know"));
}

void EntryFormsTest::UserNameEscapeDoesNothing() {
  TUserNameForm form;
  bool stillOpen = false;
  ModalDriver driver;
  driver.On(QStringLiteral("User name"), [&](QDialog&) {
    QTest::keyClick(form.UserNameEdit, Qt::Key_Escape);
    stillOpen = form.isVisible();
    form.OKButton->click();
  });
  form.ShowModal();
  QVERIFY(driver.Finished());
  QVERIFY(stillOpen);
  // OK with nothing typed: confirmed, and an empty name means nothing.
  QVERIFY(form.Confirmed());
  QCOMPARE(form.UserNameEdit->text(), QString());
  QCOMPARE(form.IPAddressEdit->text(), QStringLiteral("I don't know"));
}

void EntryFormsTest::ShowingAgainClearsConfirmed() {
  TProgramNameForm form;
  ModalDriver driver;
  driver
      .On(QStringLiteral("Program name"),
          [&](QDialog&) {
            form.ProgramNameEdit->setText(QStringLiteral("C:\\GAMES\\QUAKE.EXE"));
            QTest::keyClick(form.ProgramNameEdit, Qt::Key_Enter);
          })
      .On(QStringLiteral("Program name"), [&](QDialog&) { form.close(); });
  form.ShowModal();
  QVERIFY(form.Confirmed());
  QCOMPARE(form.ProgramNameEdit->text(), QStringLiteral("C:\\GAMES\\QUAKE.EXE"));
  form.ShowModal();
  QVERIFY(driver.Finished());
  QVERIFY(!form.Confirmed());
  QCOMPARE(form.ProgramNameEdit->text(), QString());
}

void EntryFormsTest::ProgramBrowseGivesUpperCasedFullPath() {
  QTemporaryDir dir;
  const QString program = dir.filePath(QStringLiteral("Games/quake.exe"));
  QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Games")));
  MakeFile(program);
  TProgramNameForm form;
  QStringList filters;
  QString hint;
  ModalDriver driver;
  driver
      .On(QStringLiteral("Program name"),
          [&](QDialog&) {
            hint = form.BrowseButton->toolTip();
            form.ProgramNameEdit->setText(QStringLiteral("typed"));
            form.BrowseButton->click();  // cancelled: the field stays
            QCOMPARE(form.ProgramNameEdit->text(), QStringLiteral("typed"));
            form.BrowseButton->click();
            form.OKButton->click();
          })
      .On({}, test::Reject)
      .On({}, [&](QDialog& d) {
        auto* files = qobject_cast<QFileDialog*>(&d);
        QVERIFY(files);
        filters = files->nameFilters();
        files->selectFile(program);
        static_cast<QDialog*>(files)->accept();  // public through the base
      });
  form.ShowModal();
  QVERIFY(driver.Finished());
  QCOMPARE(hint, QStringLiteral("Select a program file"));
  QCOMPARE(filters, QStringList{QStringLiteral("Executables (*.exe, *.com, *.bat, *.pif)")});
  QCOMPARE(form.ProgramNameEdit->text(), program.toUpper());
  QVERIFY(form.Confirmed());
}

void EntryFormsTest::ProgramBrowserListsProgramsOnly() {
  QTemporaryDir dir;
  MakeFile(dir.filePath(QStringLiteral("SETUP.EXE")));
  MakeFile(dir.filePath(QStringLiteral("run.bat")));
  MakeFile(dir.filePath(QStringLiteral("game")), QFileDevice::ExeOwner);
  MakeFile(dir.filePath(QStringLiteral("readme.txt")));
  MakeFile(dir.filePath(QStringLiteral("notes")));
  QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
  TProgramNameForm form;
  QStringList listed;
  ModalDriver driver;
  driver
      .On(QStringLiteral("Program name"),
          [&](QDialog&) {
            form.BrowseButton->click();
            form.close();
          })
      .On({}, [&](QDialog& d) {
        auto* files = qobject_cast<QFileDialog*>(&d);
        QVERIFY(files);
        files->setDirectory(dir.path());
        QAbstractProxyModel* proxy = files->proxyModel();
        QVERIFY(proxy);
        const auto* source = qobject_cast<QFileSystemModel*>(proxy->sourceModel());
        QVERIFY(source);
        // The folder is read in the background; its index is looked up anew
        // each time, as the model changes meanwhile.
        auto root = [&] { return proxy->mapFromSource(source->index(dir.path())); };
        QTRY_COMPARE_WITH_TIMEOUT(proxy->rowCount(root()), 4, 5000);
        for (int r = 0; r < proxy->rowCount(root()); ++r) {
          listed.push_back(proxy->index(r, 0, root()).data().toString());
        }
        d.reject();
      });
  form.ShowModal();
  QVERIFY(driver.Finished());
  listed.sort();
  QCOMPARE(listed, (QStringList{"SETUP.EXE", "game", "run.bat", "sub"}));
}

void EntryFormsTest::ProgramCloseBoxEmptiesField() {
  TProgramNameForm form;
  ModalDriver driver;
  driver.On(QStringLiteral("Program name"), [&](QDialog&) {
    QTest::keyClicks(form.ProgramNameEdit, QStringLiteral("/usr/games/zork"));
    QTest::keyClick(form.ProgramNameEdit, Qt::Key_Escape);  // nothing
    form.reject();                                          // the system's close command
  });
  form.ShowModal();
  QVERIFY(driver.Finished());
  QVERIFY(!form.Confirmed());
  QCOMPARE(form.ProgramNameEdit->text(), QString());
}

void EntryFormsTest::AboutShowsOurTextsAndOpensLinkWithoutClosing() {
  TAboutForm form;
  QList<QUrl> opened;
  form.SetOpenUrl([&](const QUrl& url) {
    opened.push_back(url);
    return true;
  });
  QCOMPARE(form.windowTitle(), QStringLiteral("About"));
  QVERIFY(!(form.windowFlags() & Qt::WindowCloseButtonHint));
  QCOMPARE(form.TitleLabel->text(), QStringLiteral(" Quillmoor 98 Version 1.1"));
  QCOMPARE(form.BuildLabel->text(), QStringLiteral("Build 2.10"));
  QCOMPARE(form.PlatformLabel->text(), QStringLiteral("for Windows 95/98 & WindowsNT"));
  QCOMPARE(form.CreatedByLabel->text(), QStringLiteral("Created by: "));
  QVERIFY(form.ContactLabel->text().contains(QStringLiteral("quillmoor98@example.org")));
  QCOMPARE(form.WebLinkLabel->toolTip(), QStringLiteral("Click to Browse our Web Site"));
  QCOMPARE(form.IconImage->size(), QSize(33, 32));
  bool openAfterClick = false;
  ModalDriver driver;
  driver.On(QStringLiteral("About"), [&](QDialog&) {
    QTest::mouseClick(form.WebLinkLabel, Qt::LeftButton);
    openAfterClick = form.isVisible();
    form.OKButton->click();
  });
  form.ShowModal();
  QVERIFY(driver.Finished());
  QVERIFY(openAfterClick);
  QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("https://quillmoor98.example.org"))});
}

}  // namespace qm

QTEST_MAIN(qm::EntryFormsTest)
#include "EntryFormsTest.moc"
