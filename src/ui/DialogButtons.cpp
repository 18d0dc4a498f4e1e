// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/DialogButtons.h"

#include <QDialog>
#include <QPushButton>

namespace qm {

void MakeOnlyDefault(QDialog& dialog, QPushButton& button) {
  for (QPushButton* other : dialog.findChildren<QPushButton*>()) {
    other->setAutoDefault(false);
    other->setDefault(false);
  }
  button.setDefault(true);
}

}  // namespace qm
