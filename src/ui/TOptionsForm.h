// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "enforce/PackedTexts.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;
class QTreeWidget;

class QScrollArea;

namespace qm {

class AdminPassword;
class MessageBoxes;
class ProgramList;
class SpinEdit;

// What the Options dialog calls out to. Unset hooks are skipped.
struct OptionsFormHooks {
  // "Launch Quillmoor 98 on startup" changed: register (true) or unregister.
  // False means the registration could not be written, and why says why;
  // the check box is then unticked, told and disabled for the rest of the
  // run.
  std::function<bool(bool enabled, std::string& why)> setStartupRegistration;
  // The refresh timer's interval in milliseconds; a change restarts the
  // countdown to the next tick.
  std::function<void(int)> setRefreshInterval;
  // "Test sound": the sound that the settings choose, without waiting.
  std::function<void(const Settings&)> playAlertSound;
  // "Add program": the program name dialog, emptied and shown modally; its
  // field afterwards ("" when nothing was confirmed).
  std::function<std::string()> askProgramName;
};

// The Options dialog. Created once and kept hidden between uses; every
// control edits its field of Settings in place, so the refresh cycle sees
// an edit at its next tick. Closing without OK puts back the snapshot taken
// when it was shown, the program list included.
class TOptionsForm final : public QDialog {
  Q_OBJECT

 public:
  TOptionsForm(Settings& settings, ProgramList& programs, AdminPassword& password,
               MessageBoxes& messages, OptionsFormHooks hooks, QWidget* parent = nullptr);
  ~TOptionsForm() override;

  // After the settings have been read: the controls take their values
  // (without calling out: the settings reader removes the start-up
  // registration itself), the refresh interval is set, and the program
  // list is shown.
  void SyncFromSettings();
  // Shows the dialog modally; returns once it is closed.
  void ShowModal();
  bool Confirmed() const { return confirmed_; }

  // The stand-in for a refused key in the numeric fields.
  void SetBeep(const std::function<void()>& beep);

  // The controls, by the names the handlers know them by.
  QTabWidget* PageControl = nullptr;
  SpinEdit* RefreshSpinEdit = nullptr;
  SpinEdit* CountSpinEdit = nullptr;
  QCheckBox* LaunchCheckBox = nullptr;
  QCheckBox* PopupCheckBox = nullptr;
  QCheckBox* NotifyCheckBox = nullptr;
  QCheckBox* IPCCheckBox = nullptr;
  QPushButton* ChangePwdBtn = nullptr;
  QCheckBox* SirenCheckBox = nullptr;
  QPushButton* TestSoundButton = nullptr;
  QGroupBox* SoundChoiceGroup = nullptr;
  QRadioButton* StandardRadioButton = nullptr;
  QRadioButton* CustomRadioButton = nullptr;
  QLineEdit* SoundFileEdit = nullptr;
  QToolButton* BrowseSoundButton = nullptr;
  QTreeWidget* ProgramListView = nullptr;
  QPushButton* ClearProgramListButton = nullptr;
  QPushButton* AddProgramButton = nullptr;
  QPushButton* RemoveProgramButton = nullptr;
  QCheckBox* QuakeCheckBox = nullptr;
  QCheckBox* IPFilterCheckBox = nullptr;
  QLineEdit* IPFilterEdit = nullptr;
  SpinEdit* IdleSpinEdit = nullptr;
  SpinEdit* MaxNumberSpinEdit = nullptr;
  QPushButton* OKButton = nullptr;
  QPushButton* CancelButton = nullptr;

 public slots:
  void done(int result) override;
  void setVisible(bool visible) override;

 private:
  struct Snapshot {
    int Refresh = 1, Count = 0, Idle = 0, MaxNumber = 0;
    bool IPC = false, Quake = false, IPFilter = false, Siren = false, Popup = false, Launch = false,
         Standard = true, Notify = true;
    std::string SoundFile, IPFilterString;
    PackedTexts Programs;
  };

  QWidget* BuildGeneralPage();
  QWidget* BuildDisconnectPage();
  void Bind();
  void TakeSnapshot();
  void RestoreSnapshot();
  void UpdateEnabledStates();
  void ShowProgramList();
  // On a screen lower than the dialog (a small one, or a high scale
  // factor) the tabs scroll, so that "OK" and "Cancel" stay in reach.
  void FitToScreen();

  void Confirm();
  void LaunchCheckBoxClick(bool checked);
  void ChangePwdBtnClick();
  void IPFilterCheckBoxClick(bool checked);
  void BrowseSoundButtonClick();
  void AddProgramButtonClick();
  void RemoveProgramButtonClick();

  Settings& settings_;
  ProgramList& programs_;
  AdminPassword& password_;
  MessageBoxes& messages_;
  OptionsFormHooks hooks_;
  QButtonGroup* soundChoice_ = nullptr;
  QScrollArea* pageArea_ = nullptr;
  Snapshot snapshot_;
  bool confirmed_ = false;
  // A password changed in this showing, taken only with OK.
  std::optional<std::string> newPassword_;
  bool syncing_ = false;  // controls set from Settings: no calling out
};

}  // namespace qm
