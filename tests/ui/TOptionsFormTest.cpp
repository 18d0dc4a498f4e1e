// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The Options dialog: every control edits Settings in place, a cancel puts
// the snapshot back, the numeric fields' key and range rules, the enabled
// states, and the calls out (registration, timer, sound, password, program
// name dialog).
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "ModalDriver.h"
#include "enforce/ProgramList.h"
#include "support/RecordingMessages.h"
#include "ui/AdminPassword.h"
#include "ui/QtFileIcons.h"
#include "ui/QtMessageBoxes.h"
#include "ui/SpinEdit.h"
#include "ui/TOptionsForm.h"

namespace qm {

using test::ModalDriver;

namespace {

bool SameSettings(const Settings& a, const Settings& b) {
  return a.Refresh == b.Refresh && a.Count == b.Count && a.Idle == b.Idle &&
         a.MaxNumber == b.MaxNumber && a.Quake == b.Quake && a.IPC == b.IPC && a.Siren == b.Siren &&
         a.Popup == b.Popup && a.Launch == b.Launch && a.Standard == b.Standard &&
         a.IPFilter == b.IPFilter && a.IPFilterString == b.IPFilterString &&
         a.SoundFile == b.SoundFile && a.Notify == b.Notify;
}

// Nothing shows of the icon (no icon at all, or only the room for one).
bool Blank(const QIcon& icon) {
  const QImage image = icon.pixmap(16, 16).toImage();
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(image.pixel(x, y)) != 0) return false;
    }
  }
  return true;
}

// Replaces a numeric field's text by typing, as a person would.
void TypeInto(SpinEdit* field, const QString& text) {
  field->selectAll();
  QTest::keyClick(field, Qt::Key_Delete);
  QTest::keyClicks(field, text);
}

}  // namespace

class TOptionsFormTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void ShowingBringsGeneralTabAndRefreshFocus();
  void SettingUpDoesNotCallOutButSetsTimer();
  void CancelPutsEverythingBack_data();
  void CancelPutsEverythingBack();
  void OkKeepsEditsAndSetsRefreshInterval();
  void EnterInFieldConfirmsWithNearestBound_data();
  void EnterInFieldConfirmsWithNearestBound();
  void EnterInFilterTextConfirms();
  void LeavingFieldBringsItIntoRange();
  void NumberTextIsReadWithinRangeWhileTyping();
  void OtherKeysAreRefusedWithBeep();
  void ArrowKeysStepWithinRange();
  void SoundControlsFollowSirenAndChoice();
  void FilterTextFollowsIPFilter();
  void FailedRegistrationDisablesLaunch();
  void TestSoundPlaysTheChoiceEvenWithSirenOff();
  void BrowseTakesChosenWaveFile();
  void ChangedPasswordIsTakenOnlyWithOK_data();
  void ChangedPasswordIsTakenOnlyWithOK();
  void EnterAloneNeverRemovesThePassword();
  void AddProgramUpperCasesSortsAndRefusesDuplicate();
  void RemoveProgramNeedsSelection();
  void ClearedListComesBackWithIconsOnCancel();

 private:
  // Opens the dialog and runs act inside it; then the dialog must be closed.
  void RunShown(const std::function<void(TOptionsForm&)>& act);
  OptionsFormHooks Hooks();

  Settings settings_;
  ProgramList programs_;
  std::string password_;
  test::RecordingMessages boxes_;
  std::unique_ptr<AdminPassword> admin_;
  std::unique_ptr<TOptionsForm> form_;
  std::vector<bool> launchCalls_;
  bool launchResult_ = true;
  std::vector<int> intervals_;
  std::vector<Settings> sounds_;
  std::string programAnswer_;
  int beeps_ = 0;
};

OptionsFormHooks TOptionsFormTest::Hooks() {
  OptionsFormHooks h;
  h.setStartupRegistration = [this](bool on, std::string& why) {
    launchCalls_.push_back(on);
    if (!launchResult_) why = "no rights";
    return launchResult_;
  };
  h.setRefreshInterval = [this](int ms) { intervals_.push_back(ms); };
  h.playAlertSound = [this](const Settings& s) { sounds_.push_back(s); };
  h.askProgramName = [this] { return programAnswer_; };
  return h;
}

void TOptionsFormTest::init() {
  settings_ = Settings();
  settings_.Refresh = 3;
  settings_.Count = 50;
  settings_.Idle = 5;
  settings_.MaxNumber = 8;
  settings_.IPFilter = true;
  settings_.IPFilterString = "127.0.0.*";
  settings_.SoundFile = "/snd/old.wav";
  programs_.Restore({"/USR/GAMES/QUAKE", "/OPT/DOOM"});
  password_ = "pw";
  boxes_.shown.clear();
  admin_ = std::make_unique<AdminPassword>(password_, boxes_);
  launchCalls_.clear();
  launchResult_ = true;
  intervals_.clear();
  sounds_.clear();
  programAnswer_.clear();
  beeps_ = 0;
  form_ = std::make_unique<TOptionsForm>(settings_, programs_, *admin_, boxes_, Hooks());
  form_->SetBeep([this] { ++beeps_; });
  intervals_.clear();
}

void TOptionsFormTest::cleanup() {
  form_.reset();
  admin_.reset();
}

void TOptionsFormTest::RunShown(const std::function<void(TOptionsForm&)>& act) {
  ModalDriver driver;
  driver.On(QStringLiteral("Options"), [&](QDialog&) {
    act(*form_);
    if (form_->isVisible()) form_->CancelButton->click();
  });
  form_->ShowModal();
  QVERIFY(driver.Finished());
  QVERIFY(!form_->isVisible());
}

void TOptionsFormTest::ShowingBringsGeneralTabAndRefreshFocus() {
  form_->PageControl->setCurrentIndex(1);
  int tab = -1;
  bool refreshFocused = false;
  RunShown([&](TOptionsForm& f) {
    tab = f.PageControl->currentIndex();
    QWidget* focus = f.focusWidget();
    refreshFocused = focus == f.RefreshSpinEdit || f.RefreshSpinEdit->isAncestorOf(focus);
  });
  QCOMPARE(tab, 0);
  QVERIFY(refreshFocused);
  QCOMPARE(form_->windowTitle(), QStringLiteral("Options"));
  QCOMPARE(form_->PageControl->tabText(0), QStringLiteral("General"));
  QCOMPARE(form_->PageControl->tabText(1), QStringLiteral("Disconnect"));
}

void TOptionsFormTest::SettingUpDoesNotCallOutButSetsTimer() {
  settings_.Launch = false;
  settings_.Refresh = 7;
  form_->SyncFromSettings();
  QVERIFY(launchCalls_.empty());
  QCOMPARE(intervals_, std::vector<int>{7000});
  QVERIFY(!form_->LaunchCheckBox->isChecked());
  QCOMPARE(form_->RefreshSpinEdit->text(), QStringLiteral("7"));
  QCOMPARE(form_->ProgramListView->topLevelItemCount(), 2);
}

void TOptionsFormTest::CancelPutsEverythingBack_data() {
  QTest::addColumn<int>("how");
  QTest::newRow("Cancel button") << 0;
  QTest::newRow("Escape key") << 1;
  QTest::newRow("close box") << 2;
}

void TOptionsFormTest::CancelPutsEverythingBack() {
  QFETCH(int, how);
  const Settings before = settings_;
  const PackedTexts programsBefore = programs_.Entries();
  RunShown([&](TOptionsForm& f) {
    TypeInto(f.RefreshSpinEdit, QStringLiteral("9"));
    TypeInto(f.CountSpinEdit, QStringLiteral("12"));
    TypeInto(f.IdleSpinEdit, QStringLiteral("30"));
    TypeInto(f.MaxNumberSpinEdit, QStringLiteral("2"));
    f.LaunchCheckBox->click();
    f.PopupCheckBox->click();
    f.NotifyCheckBox->click();
    f.IPCCheckBox->click();
    f.QuakeCheckBox->click();
    f.CustomRadioButton->click();
    f.SoundFileEdit->setText(QStringLiteral("/snd/new.wav"));
    f.SirenCheckBox->click();
    f.IPFilterCheckBox->click();
    f.IPFilterEdit->setText(QStringLiteral("other"));
    f.ClearProgramListButton->click();
    // Every edit is live in Settings while the dialog is open.
    QCOMPARE(settings_.Refresh, 9);
    QCOMPARE(settings_.Idle, 30);
    QVERIFY(!settings_.Launch);
    QVERIFY(!settings_.Standard);
    QCOMPARE(settings_.SoundFile, std::string("/snd/new.wav"));
    QVERIFY(!settings_.IPFilter);
    QCOMPARE(programs_.Count(), std::size_t{0});
    if (how == 0) {
      f.CancelButton->click();
    } else if (how == 1) {
      QTest::keyClick(f.IPFilterCheckBox, Qt::Key_Escape);
    } else {
      f.close();
    }
  });
  QVERIFY(!form_->Confirmed());
  QVERIFY(SameSettings(settings_, before));
  QCOMPARE(programs_.Entries(), programsBefore);
  // The cancelled Launch change was undone at the registration too.
  QCOMPARE(launchCalls_, (std::vector<bool>{false, true}));
  QVERIFY(intervals_.empty());
  // Shown again, the dialog shows the values put back.
  RunShown([&](TOptionsForm& f) {
    QCOMPARE(f.RefreshSpinEdit->text(), QStringLiteral("3"));
    QVERIFY(f.StandardRadioButton->isChecked());
    QCOMPARE(f.SoundFileEdit->text(), QStringLiteral("/snd/old.wav"));
    QVERIFY(f.IPFilterCheckBox->isChecked());
    QVERIFY(f.IPFilterEdit->isEnabled());
    QCOMPARE(f.IPFilterEdit->text(), QStringLiteral("127.0.0.*"));
    QCOMPARE(f.ProgramListView->topLevelItemCount(), 2);
  });
}

void TOptionsFormTest::OkKeepsEditsAndSetsRefreshInterval() {
  RunShown([&](TOptionsForm& f) {
    TypeInto(f.RefreshSpinEdit, QStringLiteral("5"));
    f.PopupCheckBox->click();
    f.ClearProgramListButton->click();
    f.OKButton->click();
  });
  QVERIFY(form_->Confirmed());
  QCOMPARE(settings_.Refresh, 5);
  QVERIFY(settings_.Popup);
  QCOMPARE(programs_.Count(), std::size_t{0});
  QCOMPARE(intervals_, std::vector<int>{5000});
  // The next showing takes a new snapshot: a cancel then keeps these.
  RunShown([](TOptionsForm& f) { f.PopupCheckBox->click(); });
  QVERIFY(settings_.Popup);
  QCOMPARE(settings_.Refresh, 5);
}

void TOptionsFormTest::EnterInFieldConfirmsWithNearestBound_data() {
  QTest::addColumn<int>("field");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<int>("expected");
  QTest::newRow("refresh 0") << 0 << "0" << 1;
  QTest::newRow("refresh 20000") << 0 << "20000" << 10000;
  QTest::newRow("refresh empty") << 0 << "" << 1;
  QTest::newRow("refresh sign only") << 0 << "-" << 1;
  QTest::newRow("refresh negative") << 0 << "-40" << 1;
  QTest::newRow("refresh plus") << 0 << "+7" << 7;
  QTest::newRow("refresh decimal") << 0 << "2.5" << 1;
  QTest::newRow("count 1001") << 1 << "1001" << 1000;
  QTest::newRow("idle 60") << 2 << "60" << 59;
  QTest::newRow("max 0") << 3 << "0" << 0;
  QTest::newRow("max 5000") << 3 << "5000" << 999;
}

void TOptionsFormTest::EnterInFieldConfirmsWithNearestBound() {
  QFETCH(int, field);
  QFETCH(QString, typed);
  QFETCH(int, expected);
  SpinEdit* edits[] = {form_->RefreshSpinEdit, form_->CountSpinEdit, form_->IdleSpinEdit,
                       form_->MaxNumberSpinEdit};
  int* values[] = {&settings_.Refresh, &settings_.Count, &settings_.Idle, &settings_.MaxNumber};
  RunShown([&](TOptionsForm&) {
    TypeInto(edits[field], typed);
    QTest::keyClick(edits[field], Qt::Key_Return);
  });
  QVERIFY(form_->Confirmed());
  QCOMPARE(*values[field], expected);
  QCOMPARE(edits[field]->text(), QString::number(expected));
  QCOMPARE(intervals_.size(), std::size_t{1});
  QCOMPARE(intervals_.back(), settings_.Refresh * 1000);
}

void TOptionsFormTest::EnterInFilterTextConfirms() {
  RunShown([&](TOptionsForm& f) {
    f.IPFilterEdit->setFocus();
    f.IPFilterEdit->selectAll();
    QTest::keyClicks(f.IPFilterEdit, QStringLiteral("127.0.0.1"));
    QTest::keyClick(f.IPFilterEdit, Qt::Key_Return);
  });
  QVERIFY(form_->Confirmed());
  QCOMPARE(settings_.IPFilterString, std::string("127.0.0.1"));
}

void TOptionsFormTest::LeavingFieldBringsItIntoRange() {
  QString idleText;
  RunShown([&](TOptionsForm& f) {
    f.PageControl->setCurrentIndex(1);
    f.IdleSpinEdit->setFocus();
    TypeInto(f.IdleSpinEdit, QStringLiteral("75"));
    QCOMPARE(f.IdleSpinEdit->text(), QStringLiteral("75"));
    f.MaxNumberSpinEdit->setFocus();
    idleText = f.IdleSpinEdit->text();
  });
  QCOMPARE(idleText, QStringLiteral("59"));
}

void TOptionsFormTest::NumberTextIsReadWithinRangeWhileTyping() {
  // The refresh cycle may read a field while its text is still out of range.
  TypeInto(form_->IdleSpinEdit, QStringLiteral("75"));
  QCOMPARE(settings_.Idle, 59);
  TypeInto(form_->IdleSpinEdit, QStringLiteral("-"));
  QCOMPARE(settings_.Idle, 0);
  TypeInto(form_->RefreshSpinEdit, QString());
  QCOMPARE(settings_.Refresh, 1);
}

void TOptionsFormTest::OtherKeysAreRefusedWithBeep() {
  TypeInto(form_->CountSpinEdit, QStringLiteral("1x2 "));
  QCOMPARE(form_->CountSpinEdit->text(), QStringLiteral("12"));
  QCOMPARE(beeps_, 2);
  QCOMPARE(settings_.Count, 12);
}

void TOptionsFormTest::ArrowKeysStepWithinRange() {
  TypeInto(form_->RefreshSpinEdit, QStringLiteral("10000"));
  QTest::keyClick(form_->RefreshSpinEdit, Qt::Key_Up);
  QCOMPARE(settings_.Refresh, 10000);
  QTest::keyClick(form_->RefreshSpinEdit, Qt::Key_Down);
  QCOMPARE(settings_.Refresh, 9999);
  TypeInto(form_->CountSpinEdit, QStringLiteral("0"));
  QTest::keyClick(form_->CountSpinEdit, Qt::Key_Down);
  QCOMPARE(settings_.Count, 0);
  QTest::keyClick(form_->CountSpinEdit, Qt::Key_Up);
  QCOMPARE(settings_.Count, 1);
  QCOMPARE(beeps_, 0);
}

void TOptionsFormTest::SoundControlsFollowSirenAndChoice() {
  TOptionsForm& f = *form_;
  auto states = [&] {
    return QList<bool>{f.SoundChoiceGroup->isEnabledTo(&f), f.SoundFileEdit->isEnabledTo(&f),
                       f.BrowseSoundButton->isEnabledTo(&f), f.TestSoundButton->isEnabledTo(&f)};
  };
  QVERIFY(f.SirenCheckBox->isChecked());
  QVERIFY(f.StandardRadioButton->isChecked());
  QCOMPARE(states(), (QList<bool>{true, false, false, true}));
  f.CustomRadioButton->click();
  QCOMPARE(states(), (QList<bool>{true, true, true, true}));
  f.SirenCheckBox->click();
  QCOMPARE(states(), (QList<bool>{false, false, false, true}));
  f.SirenCheckBox->click();
  QCOMPARE(states(), (QList<bool>{true, true, true, true}));
  // A restore recomputes them too.
  RunShown([](TOptionsForm& form) {
    form.StandardRadioButton->click();
    form.SirenCheckBox->click();
  });
  QCOMPARE(states(), (QList<bool>{true, true, true, true}));
}

void TOptionsFormTest::FilterTextFollowsIPFilter() {
  QVERIFY(form_->IPFilterEdit->isEnabledTo(form_.get()));
  bool focused = false;
  RunShown([&](TOptionsForm& f) {
    f.IPFilterCheckBox->click();
    QVERIFY(!f.IPFilterEdit->isEnabled());
    f.IPFilterCheckBox->click();
    focused = f.focusWidget() == f.IPFilterEdit;
  });
  QVERIFY(focused);
}

void TOptionsFormTest::FailedRegistrationDisablesLaunch() {
  launchResult_ = false;
  QVERIFY(form_->LaunchCheckBox->isChecked());
  form_->LaunchCheckBox->click();
  QCOMPARE(launchCalls_, std::vector<bool>{false});
  QVERIFY(!form_->LaunchCheckBox->isEnabled());
  QVERIFY(!settings_.Launch);
  form_->LaunchCheckBox->setEnabled(true);
  form_->LaunchCheckBox->click();  // a refused entry unticks the box and says why
  QVERIFY(!form_->LaunchCheckBox->isChecked());
  QCOMPARE(boxes_.shown.back(), "error: Quillmoor 98 cannot be launched on startup: no rights");
}

void TOptionsFormTest::TestSoundPlaysTheChoiceEvenWithSirenOff() {
  form_->CustomRadioButton->click();
  form_->SirenCheckBox->click();
  form_->TestSoundButton->click();
  QCOMPARE(sounds_.size(), std::size_t{1});
  QVERIFY(!sounds_[0].Standard);
  QVERIFY(!sounds_[0].Siren);
  QCOMPARE(sounds_[0].SoundFile, std::string("/snd/old.wav"));
}

void TOptionsFormTest::BrowseTakesChosenWaveFile() {
  QTemporaryDir dir;
  const QString wave = dir.filePath(QStringLiteral("bell.wav"));
  QFile f(wave);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.close();
  QStringList filters;
  ModalDriver driver;
  driver
      .On(QStringLiteral("Options"),
          [&](QDialog&) {
            form_->CustomRadioButton->click();
            form_->BrowseSoundButton->click();  // cancelled: nothing changes
            QCOMPARE(form_->SoundFileEdit->text(), QStringLiteral("/snd/old.wav"));
            form_->BrowseSoundButton->click();  // a file is chosen
            form_->OKButton->click();
          })
      .On({}, test::Reject)
      .On({}, [&](QDialog& d) {
        auto* files = qobject_cast<QFileDialog*>(&d);
        QVERIFY(files);
        filters = files->nameFilters();
        files->selectFile(wave);
        static_cast<QDialog*>(files)->accept();  // public through the base
      });
  form_->ShowModal();
  QVERIFY(driver.Finished());
  QCOMPARE(filters, QStringList{QStringLiteral("Sound (*.wav)")});
  QCOMPARE(settings_.SoundFile, wave.toStdString());
  QCOMPARE(form_->SoundFileEdit->text(), wave);
}

void TOptionsFormTest::ChangedPasswordIsTakenOnlyWithOK_data() {
  QTest::addColumn<QString>("close");
  QTest::newRow("OK") << "OK";
  QTest::newRow("Cancel") << "Cancel";
  // A check box's Enter presses OK, never "Change Password" again.
  QTest::newRow("Enter on a check box") << "Enter";
}

void TOptionsFormTest::ChangedPasswordIsTakenOnlyWithOK() {
  QFETCH(QString, close);
  QtMessageBoxes qtBoxes(form_.get());
  AdminPassword admin(password_, qtBoxes);
  TOptionsForm form(settings_, programs_, admin, qtBoxes, Hooks());
  QStringList texts;
  ModalDriver driver;
  driver
      .On(QStringLiteral("Options"),
          [&](QDialog&) {
            form.ChangePwdBtn->click();
            if (close == "Enter") {
              form.NotifyCheckBox->setFocus();
              QTest::keyClick(form.NotifyCheckBox, Qt::Key_Return);
            } else {
              (close == "OK" ? form.OKButton : form.CancelButton)->click();
            }
          })
      .On(QStringLiteral("Change Admin Password"), test::Type(QStringLiteral("n3w")))
      .On(QStringLiteral("Change Admin Password"), test::Type(QStringLiteral("n3w")))
      .On({}, test::Note(&texts));
  form.ShowModal();
  QVERIFY(driver.Finished());
  QCOMPARE(texts.size(), 1);  // "Password Changed", and no box after it
  QCOMPARE(form.Confirmed(), close != "Cancel");
  QCOMPARE(password_, std::string(close != "Cancel" ? "n3w" : "pw"));
}

void TOptionsFormTest::EnterAloneNeverRemovesThePassword() {
  QtMessageBoxes qtBoxes(form_.get());
  AdminPassword admin(password_, qtBoxes);
  TOptionsForm form(settings_, programs_, admin, qtBoxes, Hooks());
  QStringList texts;
  ModalDriver driver;
  driver.On(QStringLiteral("Options"), [&](QDialog& options) {
    form.ChangePwdBtn->click();
    test::PressEnter(options);
  });
  driver.On({}, test::PressEnter).On({}, test::PressEnter).On({}, [&](QDialog& box) {
    if (auto* message = qobject_cast<QMessageBox*>(&box)) texts << message->text();
    test::PressEnter(box);
  });
  form.ShowModal();
  QVERIFY(driver.Finished());
  QVERIFY2(texts.value(0).startsWith("Remove the administrator password?"),
           qPrintable(texts.value(0)));
  QVERIFY(form.Confirmed());
  QCOMPARE(password_, std::string("pw"));
}

void TOptionsFormTest::AddProgramUpperCasesSortsAndRefusesDuplicate() {
  programs_.Clear();
  programAnswer_ = "/usr/games/zork";
  form_->AddProgramButton->click();
  programAnswer_ = "/opt/Bin/adventure";
  form_->AddProgramButton->click();
  programAnswer_ = "/USR/games/ZORK";
  form_->AddProgramButton->click();
  programAnswer_.clear();  // the program name dialog was not confirmed
  form_->AddProgramButton->click();
  QTreeWidget* list = form_->ProgramListView;
  QCOMPARE(list->topLevelItemCount(), 2);
  QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("/OPT/BIN/ADVENTURE"));
  QCOMPARE(list->topLevelItem(1)->text(0), QStringLiteral("/USR/GAMES/ZORK"));
  QCOMPARE(boxes_.shown, std::vector<std::string>{"info: Program already in programlist!"});
  QCOMPARE(list->headerItem()->text(0), QStringLiteral("Program"));
  QCOMPARE(list->header()->sectionSize(0), 1000);
}

void TOptionsFormTest::RemoveProgramNeedsSelection() {
  QTreeWidget* list = form_->ProgramListView;
  form_->RemoveProgramButton->click();
  QCOMPARE(programs_.Count(), std::size_t{2});
  list->setCurrentItem(list->topLevelItem(1));
  const QString chosen = list->topLevelItem(1)->text(0);
  form_->RemoveProgramButton->click();
  QCOMPARE(programs_.Count(), std::size_t{1});
  QCOMPARE(list->topLevelItemCount(), 1);
  QVERIFY(list->topLevelItem(0)->text(0) != chosen);
}

void TOptionsFormTest::ClearedListComesBackWithIconsOnCancel() {
  QtFileIcons::UseInstalledThemeIfNone();
  if (!QIcon::hasThemeIcon(QStringLiteral("application-x-executable"))) {
    QSKIP("no icon theme with an executable icon is installed");
  }
  // This test program, upper-cased as the dialog stores programs.
  const std::string self = QCoreApplication::applicationFilePath().toUpper().toStdString();
  programs_.Restore({self, "/NO/SUCH/PROGRAM"});
  RunShown([](TOptionsForm& f) { f.ClearProgramListButton->click(); });
  QTreeWidget* list = form_->ProgramListView;
  QCOMPARE(list->topLevelItemCount(), 2);
  QTreeWidgetItem* withIcon = list->findItems(QString::fromStdString(self), Qt::MatchExactly)[0];
  QTreeWidgetItem* without =
      list->findItems(QStringLiteral("/NO/SUCH/PROGRAM"), Qt::MatchExactly)[0];
  QVERIFY(!Blank(withIcon->icon(0)));
  QVERIFY(Blank(without->icon(0)));
}

}  // namespace qm

QTEST_MAIN(qm::TOptionsFormTest)
#include "TOptionsFormTest.moc"
