// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include "ui/EntryForm.h"

class QPushButton;

namespace qm {

// "User name": a user name and an address for the Disconnect List.
class TUserNameForm final : public EntryForm {
  Q_OBJECT

 public:
  explicit TUserNameForm(QWidget* parent = nullptr);

  // The address field's text until the user changes it.
  static constexpr const char* kUnknownAddress = "I don't know";

  QLineEdit* UserNameEdit = nullptr;
  QLineEdit* IPAddressEdit = nullptr;
  QPushButton* OKButton = nullptr;

 protected:
  QLineEdit* NameField() const override { return UserNameEdit; }
  void ResetFields() override;
};

}  // namespace qm
