// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include "ui/EntryForm.h"

class QPushButton;
class QToolButton;

namespace qm {

// "Program name": a program for the program list, typed or chosen with a
// file browser (which gives the full path, upper-cased).
class TProgramNameForm final : public EntryForm {
  Q_OBJECT

 public:
  explicit TProgramNameForm(QWidget* parent = nullptr);

  // The file browser's filter: DOS programs by name; Linux programs, which
  // have no extension, by being executable files.
  static const QString kExecutablesFilter;

  QLineEdit* ProgramNameEdit = nullptr;
  QToolButton* BrowseButton = nullptr;
  QPushButton* OKButton = nullptr;

 protected:
  QLineEdit* NameField() const override { return ProgramNameEdit; }
  void ResetFields() override;

 private:
  void BrowseButtonClick();
};

}  // namespace qm
