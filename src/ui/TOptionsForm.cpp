// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/TOptionsForm.h"

#include <QAbstractSpinBox>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "enforce/ProgramList.h"
#include "ui/AdminPassword.h"
#include "ui/DialogButtons.h"
#include "ui/QtFileIcons.h"
#include "ui/ScreenPlacement.h"
#include "ui/SpinEdit.h"

namespace qm {

namespace {

constexpr int kStandardChoice = 0;
constexpr int kCustomChoice = 1;

// A caption over two lines, as the narrow dialog lays it out.
QLabel* Caption(const QString& text, QWidget* buddy, const QString& hint = {}) {
  auto* label = new QLabel(text);
  label->setBuddy(buddy);
  // A screen reader names the field by its caption, also the line inside
  // a number field.
  QString name = text.simplified();
  if (name.endsWith(':')) name.chop(1);
  buddy->setAccessibleName(name);
  if (qobject_cast<QAbstractSpinBox*>(buddy)) {
    if (auto* line = buddy->findChild<QLineEdit*>()) line->setAccessibleName(name);
  }
  if (!hint.isEmpty()) label->setToolTip(hint);
  return label;
}

}  // namespace

TOptionsForm::TOptionsForm(Settings& settings, ProgramList& programs, AdminPassword& password,
                           MessageBoxes& messages, OptionsFormHooks hooks, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      programs_(programs),
      password_(password),
      messages_(messages),
      hooks_(std::move(hooks)) {
  setWindowTitle(QStringLiteral("Options"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  PageControl = new QTabWidget;
  PageControl->setAccessibleName(QStringLiteral("Option pages"));
  PageControl->addTab(BuildGeneralPage(), QStringLiteral("General"));
  PageControl->addTab(BuildDisconnectPage(), QStringLiteral("Disconnect"));

  CancelButton = new QPushButton(QStringLiteral("Cancel"));
  OKButton = new QPushButton(QStringLiteral("OK"));
  auto* strip = new QHBoxLayout;
  strip->addWidget(CancelButton);
  strip->addStretch();
  strip->addWidget(OKButton);

  pageArea_ = new QScrollArea;
  pageArea_->setAccessibleName(QStringLiteral("Options"));
  pageArea_->setWidget(PageControl);
  pageArea_->setWidgetResizable(true);
  pageArea_->setFrameShape(QFrame::NoFrame);
  pageArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pageArea_);
  layout->addLayout(strip);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  Bind();
  SyncFromSettings();
  MakeOnlyDefault(*this, *OKButton);
  programs_.SetOnChanged([this] { ShowProgramList(); });
}

TOptionsForm::~TOptionsForm() {
  programs_.SetOnChanged(nullptr);
}

QWidget* TOptionsForm::BuildGeneralPage() {
  auto* page = new QWidget;
  RefreshSpinEdit = new SpinEdit(1, 10000);
  CountSpinEdit = new SpinEdit(0, 1000);
  LaunchCheckBox = new QCheckBox(QStringLiteral("Launch Quillmoor 98 on startup"));
  PopupCheckBox = new QCheckBox(QStringLiteral("Popup window on new connection"));
  NotifyCheckBox = new QCheckBox(QStringLiteral("Desktop notification on new connection"));
  IPCCheckBox = new QCheckBox(QStringLiteral("Log IPC$"));
  ChangePwdBtn = new QPushButton(QStringLiteral("Change Password"));

  auto* numbers = new QGridLayout;
  numbers->addWidget(Caption(QStringLiteral("Refreshrate (in seconds):"), RefreshSpinEdit), 0, 0);
  numbers->addWidget(RefreshSpinEdit, 0, 1);
  numbers->addWidget(Caption(QStringLiteral("Number of connections \nto remember:"), CountSpinEdit),
                     1, 0);
  numbers->addWidget(CountSpinEdit, 1, 1);
  numbers->setColumnStretch(0, 1);

  auto* ipc = new QHBoxLayout;
  ipc->addWidget(IPCCheckBox);
  ipc->addStretch();
  ipc->addWidget(ChangePwdBtn);

  auto* sounds = new QGroupBox(QStringLiteral("Sounds"));
  SirenCheckBox = new QCheckBox(QStringLiteral("Sound when new connection"));
  TestSoundButton = new QPushButton(QStringLiteral("Test sound"));
  SoundChoiceGroup = new QGroupBox(QStringLiteral("Choose your sound"));
  StandardRadioButton = new QRadioButton(QStringLiteral("Standard sound (siren)"));
  CustomRadioButton = new QRadioButton(QStringLiteral("Custom sound"));
  soundChoice_ = new QButtonGroup(this);
  soundChoice_->addButton(StandardRadioButton, kStandardChoice);
  soundChoice_->addButton(CustomRadioButton, kCustomChoice);
  auto* choiceLayout = new QVBoxLayout(SoundChoiceGroup);
  choiceLayout->addWidget(StandardRadioButton);
  choiceLayout->addWidget(CustomRadioButton);
  SoundFileEdit = new QLineEdit;
  SoundFileEdit->setAccessibleName(QStringLiteral("Sound file"));
  SoundFileEdit->setReadOnly(true);
  BrowseSoundButton = new QToolButton;
  BrowseSoundButton->setText(QStringLiteral("..."));
  BrowseSoundButton->setToolTip(QStringLiteral("Select a sound file"));

  auto* sirenRow = new QHBoxLayout;
  sirenRow->addWidget(SirenCheckBox);
  sirenRow->addStretch();
  sirenRow->addWidget(TestSoundButton);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(SoundFileEdit);
  fileRow->addWidget(BrowseSoundButton);
  auto* soundsLayout = new QVBoxLayout(sounds);
  soundsLayout->addLayout(sirenRow);
  soundsLayout->addWidget(SoundChoiceGroup);
  soundsLayout->addLayout(fileRow);

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(numbers);
  layout->addWidget(LaunchCheckBox);
  layout->addWidget(PopupCheckBox);
  layout->addWidget(NotifyCheckBox);
  layout->addLayout(ipc);
  layout->addWidget(sounds);
  layout->addStretch();
  return page;
}

QWidget* TOptionsForm::BuildDisconnectPage() {
  auto* page = new QWidget;
  ProgramListView = new QTreeWidget;
  ProgramListView->setAccessibleName(QStringLiteral("Program list"));
  ProgramListView->setColumnCount(1);
  ProgramListView->setHeaderLabels({QStringLiteral("Program")});
  ProgramListView->setRootIsDecorated(false);
  ProgramListView->setSelectionBehavior(QAbstractItemView::SelectRows);
  ProgramListView->setSelectionMode(QAbstractItemView::SingleSelection);
  ProgramListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ProgramListView->header()->setStretchLastSection(false);
  ProgramListView->header()->resizeSection(0, 1000);  // long paths show in full when scrolled
  ProgramListView->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

  ClearProgramListButton = new QPushButton(QStringLiteral("Clear program list"));
  AddProgramButton = new QPushButton(QStringLiteral("Add program"));
  RemoveProgramButton = new QPushButton(QStringLiteral("Remove program"));
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ClearProgramListButton);
  buttons->addWidget(AddProgramButton);
  buttons->addWidget(RemoveProgramButton);
  buttons->addStretch();
  auto* listRow = new QHBoxLayout;
  listRow->addWidget(ProgramListView, 1);
  listRow->addLayout(buttons);

  QuakeCheckBox =
      new QCheckBox(QStringLiteral("Disconnect all when executing programs listed above"));
  IPFilterCheckBox = new QCheckBox(QStringLiteral("IP Filter"));
  IPFilterEdit = new QLineEdit;
  IPFilterEdit->setAccessibleName(QStringLiteral("IP filter"));
  auto* filterRow = new QHBoxLayout;
  filterRow->addWidget(IPFilterCheckBox);
  filterRow->addWidget(IPFilterEdit, 1);

  IdleSpinEdit = new SpinEdit(0, 59);
  MaxNumberSpinEdit = new SpinEdit(0, 999);
  const QString idleHint = QStringLiteral("0 means no check on idle time");
  const QString maxHint = QStringLiteral("0 means no check!");
  auto* numbers = new QGridLayout;
  numbers->addWidget(Caption(QStringLiteral("Disconnect users after idle\ntime of (in minutes):"),
                             IdleSpinEdit, idleHint),
                     0, 0);
  numbers->addWidget(IdleSpinEdit, 0, 1);
  numbers->addWidget(
      Caption(QStringLiteral("Maximum number of\nconnections:"), MaxNumberSpinEdit, maxHint), 1, 0);
  numbers->addWidget(MaxNumberSpinEdit, 1, 1);
  numbers->setColumnStretch(0, 1);

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(listRow, 1);
  layout->addWidget(QuakeCheckBox);
  layout->addLayout(filterRow);
  layout->addLayout(numbers);
  return page;
}

void TOptionsForm::Bind() {
  connect(RefreshSpinEdit, &SpinEdit::ValueEdited, this, [this](int v) { settings_.Refresh = v; });
  connect(CountSpinEdit, &SpinEdit::ValueEdited, this, [this](int v) { settings_.Count = v; });
  connect(IdleSpinEdit, &SpinEdit::ValueEdited, this, [this](int v) { settings_.Idle = v; });
  connect(MaxNumberSpinEdit, &SpinEdit::ValueEdited, this,
          [this](int v) { settings_.MaxNumber = v; });
  for (SpinEdit* field : {RefreshSpinEdit, CountSpinEdit, IdleSpinEdit, MaxNumberSpinEdit}) {
    connect(field, &SpinEdit::EnterPressed, this, &TOptionsForm::Confirm);
  }

  connect(LaunchCheckBox, &QCheckBox::toggled, this, &TOptionsForm::LaunchCheckBoxClick);
  connect(PopupCheckBox, &QCheckBox::toggled, this, [this](bool on) { settings_.Popup = on; });
  connect(NotifyCheckBox, &QCheckBox::toggled, this, [this](bool on) { settings_.Notify = on; });
  connect(IPCCheckBox, &QCheckBox::toggled, this, [this](bool on) { settings_.IPC = on; });
  connect(QuakeCheckBox, &QCheckBox::toggled, this, [this](bool on) { settings_.Quake = on; });
  connect(SirenCheckBox, &QCheckBox::toggled, this, [this](bool on) {
    settings_.Siren = on;
    UpdateEnabledStates();
  });
  connect(soundChoice_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
    if (!on) return;
    settings_.Standard = id == kStandardChoice;
    UpdateEnabledStates();
  });
  connect(IPFilterCheckBox, &QCheckBox::toggled, this, &TOptionsForm::IPFilterCheckBoxClick);
  connect(IPFilterEdit, &QLineEdit::textChanged, this,
          [this](const QString& t) { settings_.IPFilterString = t.toStdString(); });
  connect(SoundFileEdit, &QLineEdit::textChanged, this,
          [this](const QString& t) { settings_.SoundFile = t.toStdString(); });
  connect(IPFilterEdit, &QLineEdit::returnPressed, this, &TOptionsForm::Confirm);
  connect(SoundFileEdit, &QLineEdit::returnPressed, this, &TOptionsForm::Confirm);

  connect(ChangePwdBtn, &QPushButton::clicked, this, &TOptionsForm::ChangePwdBtnClick);
  connect(TestSoundButton, &QPushButton::clicked, this, [this] {
    if (hooks_.playAlertSound) hooks_.playAlertSound(settings_);
  });
  connect(BrowseSoundButton, &QToolButton::clicked, this, &TOptionsForm::BrowseSoundButtonClick);
  connect(ClearProgramListButton, &QPushButton::clicked, this, [this] {
    if (programs_.Entries().empty() || messages_.Confirm("Clear the whole program list?")) {
      programs_.Clear();
    }
  });
  connect(AddProgramButton, &QPushButton::clicked, this, &TOptionsForm::AddProgramButtonClick);
  connect(RemoveProgramButton, &QPushButton::clicked, this,
          &TOptionsForm::RemoveProgramButtonClick);

  connect(OKButton, &QPushButton::clicked, this, &TOptionsForm::Confirm);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TOptionsForm::SyncFromSettings() {
  syncing_ = true;
  RefreshSpinEdit->SetValue(settings_.Refresh);
  CountSpinEdit->SetValue(settings_.Count);
  IdleSpinEdit->SetValue(settings_.Idle);
  MaxNumberSpinEdit->SetValue(settings_.MaxNumber);
  LaunchCheckBox->setChecked(settings_.Launch);
  PopupCheckBox->setChecked(settings_.Popup);
  NotifyCheckBox->setChecked(settings_.Notify);
  IPCCheckBox->setChecked(settings_.IPC);
  QuakeCheckBox->setChecked(settings_.Quake);
  SirenCheckBox->setChecked(settings_.Siren);
  (settings_.Standard ? StandardRadioButton : CustomRadioButton)->setChecked(true);
  IPFilterCheckBox->setChecked(settings_.IPFilter);
  IPFilterEdit->setText(QString::fromStdString(settings_.IPFilterString));
  SoundFileEdit->setText(QString::fromStdString(settings_.SoundFile));
  syncing_ = false;
  if (hooks_.setRefreshInterval) hooks_.setRefreshInterval(settings_.Refresh * 1000);
  UpdateEnabledStates();
  ShowProgramList();
}

void TOptionsForm::SetBeep(const std::function<void()>& beep) {
  for (SpinEdit* field : {RefreshSpinEdit, CountSpinEdit, IdleSpinEdit, MaxNumberSpinEdit}) {
    field->SetBeep(beep);
  }
}

void TOptionsForm::setVisible(bool visible) {
  if (visible) FitToScreen();
  QDialog::setVisible(visible);
}

void TOptionsForm::FitToScreen() {
  const QSize pages = PageControl->sizeHint();
  const QWidget* near = parentWidget() ? parentWidget()->window() : this;
  const QRect screen = AvailableAreaFor(near->frameGeometry());
  const QMargins margins = layout()->contentsMargins();
  // The title bar, the margins and the button strip beside the tabs.
  const int chrome =
      32 + margins.top() + margins.bottom() + layout()->spacing() + OKButton->sizeHint().height();
  const int room = screen.isEmpty() ? pages.height() : screen.height() - chrome;
  if (pages.height() <= room) {
    pageArea_->setFixedSize(pages);
  } else {
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    pageArea_->setFixedSize(pages.width() + bar, std::max(room, 100));
  }
}

void TOptionsForm::ShowModal() {
  confirmed_ = false;
  newPassword_.reset();
  TakeSnapshot();
  PageControl->setCurrentIndex(0);
  RefreshSpinEdit->setFocus();
  RefreshSpinEdit->selectAll();
  exec();
}

void TOptionsForm::TakeSnapshot() {
  snapshot_.Refresh = settings_.Refresh;
  snapshot_.Count = settings_.Count;
  snapshot_.Idle = settings_.Idle;
  snapshot_.MaxNumber = settings_.MaxNumber;
  snapshot_.IPC = settings_.IPC;
  snapshot_.Quake = settings_.Quake;
  snapshot_.IPFilter = settings_.IPFilter;
  snapshot_.Siren = settings_.Siren;
  snapshot_.Popup = settings_.Popup;
  snapshot_.Notify = settings_.Notify;
  snapshot_.Launch = settings_.Launch;
  snapshot_.Standard = settings_.Standard;
  snapshot_.SoundFile = settings_.SoundFile;
  snapshot_.IPFilterString = settings_.IPFilterString;
  snapshot_.Programs = programs_.Snapshot();
}

// In this order; putting back a different Launch registers or unregisters
// again, so a cancelled change leaves the registration as it was.
void TOptionsForm::RestoreSnapshot() {
  SirenCheckBox->setChecked(snapshot_.Siren);
  PopupCheckBox->setChecked(snapshot_.Popup);
  LaunchCheckBox->setChecked(snapshot_.Launch);
  NotifyCheckBox->setChecked(snapshot_.Notify);
  SoundFileEdit->setText(QString::fromStdString(snapshot_.SoundFile));
  IPCCheckBox->setChecked(snapshot_.IPC);
  QuakeCheckBox->setChecked(snapshot_.Quake);
  IPFilterCheckBox->setChecked(snapshot_.IPFilter);
  RefreshSpinEdit->SetValue(snapshot_.Refresh);
  CountSpinEdit->SetValue(snapshot_.Count);
  IdleSpinEdit->SetValue(snapshot_.Idle);
  MaxNumberSpinEdit->SetValue(snapshot_.MaxNumber);
  IPFilterEdit->setText(QString::fromStdString(snapshot_.IPFilterString));
  (snapshot_.Standard ? StandardRadioButton : CustomRadioButton)->setChecked(true);
  programs_.Restore(snapshot_.Programs);
}

void TOptionsForm::UpdateEnabledStates() {
  const bool siren = SirenCheckBox->isChecked();
  const bool custom = CustomRadioButton->isChecked();
  SoundChoiceGroup->setEnabled(siren);
  SoundFileEdit->setEnabled(siren && custom);
  BrowseSoundButton->setEnabled(siren && custom);
  IPFilterEdit->setEnabled(IPFilterCheckBox->isChecked());
}

void TOptionsForm::ShowProgramList() {
  // Entries without an icon keep its room, so that the paths line up.
  const QSize size =
      ProgramListView->iconSize().isValid() ? ProgramListView->iconSize() : QSize(16, 16);
  QPixmap blank(size);
  blank.fill(Qt::transparent);
  const QIcon none(blank);
  ProgramListView->clear();
  for (const std::string_view entry : programs_.Entries()) {
    const QString path = QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size()));
    auto* item = new QTreeWidgetItem(ProgramListView, {path});
    const QIcon icon = QtFileIcons::ProgramIcon(path);
    item->setIcon(0, icon.isNull() ? none : icon);
  }
}

void TOptionsForm::Confirm() {
  confirmed_ = true;
  for (SpinEdit* field : {RefreshSpinEdit, CountSpinEdit, IdleSpinEdit, MaxNumberSpinEdit}) {
    field->Clamp();
  }
  if (hooks_.setRefreshInterval) hooks_.setRefreshInterval(settings_.Refresh * 1000);
  if (newPassword_) password_.SetPassword(*newPassword_);
  newPassword_.reset();
  accept();
}

void TOptionsForm::done(int result) {
  QDialog::done(result);
  if (!confirmed_) RestoreSnapshot();
  newPassword_.reset();
}

void TOptionsForm::ChangePwdBtnClick() {
  std::optional<std::string> text = password_.AskNewPassword();
  if (!text) return;
  newPassword_ = std::move(text);
  messages_.Information("The new password takes effect when you press OK.");
}

void TOptionsForm::LaunchCheckBoxClick(bool checked) {
  settings_.Launch = checked;
  if (syncing_ || !hooks_.setStartupRegistration) return;
  std::string why;
  if (hooks_.setStartupRegistration(checked, why)) return;
  // The box shows what is registered: a refused entry unticks it.
  if (checked) {
    syncing_ = true;
    LaunchCheckBox->setChecked(false);
    syncing_ = false;
  }
  LaunchCheckBox->setEnabled(false);
  messages_.Error("Quillmoor 98 cannot be launched on startup: " + why);
}

void TOptionsForm::IPFilterCheckBoxClick(bool checked) {
  settings_.IPFilter = checked;
  UpdateEnabledStates();
  if (checked && isVisible()) IPFilterEdit->setFocus();
}

void TOptionsForm::BrowseSoundButtonClick() {
  QFileDialog dialog(this, QString(), QFileInfo(SoundFileEdit->text()).absolutePath(),
                     QStringLiteral("Sound (*.wav)"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  SoundFileEdit->setText(QFileInfo(dialog.selectedFiles().front()).absoluteFilePath());
}

void TOptionsForm::AddProgramButtonClick() {
  if (!hooks_.askProgramName) return;
  programs_.AddProgram(messages_, hooks_.askProgramName());
}

void TOptionsForm::RemoveProgramButtonClick() {
  const QModelIndex current = ProgramListView->currentIndex();
  if (!current.isValid() || ProgramListView->selectedItems().isEmpty()) return;
  programs_.Remove(static_cast<std::size_t>(current.row()));
}

}  // namespace qm
