// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/TProgramNameForm.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/Text.h"

namespace qm {

const QString TProgramNameForm::kExecutablesFilter =
    QStringLiteral("Executables (*.exe, *.com, *.bat, *.pif)");

namespace {

// Shows folders, files named like DOS programs, and executable files. The
// filter's own text lists its patterns with commas, which Qt would read as
// part of the patterns, so the matching is done here.
class ExecutablesProxy final : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!files) return true;
    const QFileInfo info = files->fileInfo(files->index(row, 0, parent));
    if (info.isDir()) return true;
    const QString suffix = info.suffix().toLower();
    return suffix == QLatin1String("exe") || suffix == QLatin1String("com") ||
           suffix == QLatin1String("bat") || suffix == QLatin1String("pif") || info.isExecutable();
  }
};

}  // namespace

TProgramNameForm::TProgramNameForm(QWidget* parent) : EntryForm(parent) {
  setWindowTitle(QStringLiteral("Program name"));
  ProgramNameEdit = new QLineEdit;
  ProgramNameEdit->setMinimumWidth(260);
  BrowseButton = new QToolButton;
  BrowseButton->setText(QStringLiteral("..."));
  BrowseButton->setToolTip(QStringLiteral("Select a program file"));
  OKButton = new QPushButton(QStringLiteral("OK"));

  auto* label = new QLabel(QStringLiteral("Program name:"));
  label->setBuddy(ProgramNameEdit);
  auto* row = new QHBoxLayout;
  row->addWidget(ProgramNameEdit, 1);
  row->addWidget(BrowseButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addLayout(row);
  layout->addWidget(OKButton, 0, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(OKButton, &QPushButton::clicked, this, &EntryForm::Confirm);
  connect(ProgramNameEdit, &QLineEdit::returnPressed, this, &EntryForm::Confirm);
  connect(BrowseButton, &QToolButton::clicked, this, &TProgramNameForm::BrowseButtonClick);
}

void TProgramNameForm::ResetFields() {
  ProgramNameEdit->clear();
}

void TProgramNameForm::BrowseButtonClick() {
  QFileDialog dialog(this);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  // Our own filtering needs Qt's dialog rather than the desktop's.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setProxyModel(new ExecutablesProxy(&dialog));
  dialog.setNameFilter(kExecutablesFilter);
  if (auto* files = dialog.findChild<QFileSystemModel*>()) files->setNameFilters({});
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = QFileInfo(dialog.selectedFiles().front()).absoluteFilePath();
  // Upper-cased as the program watch compares (letters a to z).
  ProgramNameEdit->setText(QString::fromStdString(AsciiUpper(path.toStdString())));
}

}  // namespace qm
