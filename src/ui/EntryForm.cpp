// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/EntryForm.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace qm {

EntryForm::EntryForm(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
}

void EntryForm::ShowModal() {
  confirmed_ = false;
  NameField()->setFocus();
  exec();
}

void EntryForm::Confirm() {
  confirmed_ = true;
  accept();
}

void EntryForm::done(int result) {
  QDialog::done(result);
  if (!confirmed_) ResetFields();
}

void EntryForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace qm
