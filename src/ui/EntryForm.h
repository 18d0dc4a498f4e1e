// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QDialog>

class QLineEdit;

namespace qm {

// The pattern of the two entry dialogs: the caller prepares the fields,
// shows the dialog modally and reads the fields afterwards. Only "OK" (or
// Enter in a text field) confirms; closing any other way resets the fields,
// so an empty name means that nothing was entered. Escape does nothing.
class EntryForm : public QDialog {
  Q_OBJECT

 public:
  explicit EntryForm(QWidget* parent = nullptr);

  void ShowModal();
  bool Confirmed() const { return confirmed_; }

 public slots:
  void Confirm();
  void done(int result) override;

 protected:
  // The field that has the focus when the dialog shows.
  virtual QLineEdit* NameField() const = 0;
  virtual void ResetFields() = 0;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool confirmed_ = false;
};

}  // namespace qm
