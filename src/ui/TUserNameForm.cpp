// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/TUserNameForm.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qm {

TUserNameForm::TUserNameForm(QWidget* parent) : EntryForm(parent) {
  setWindowTitle(QStringLiteral("User name"));
  UserNameEdit = new QLineEdit;
  IPAddressEdit = new QLineEdit(QString::fromLatin1(kUnknownAddress));
  OKButton = new QPushButton(QStringLiteral("OK"));
  UserNameEdit->setMinimumWidth(180);

  auto* fields = new QFormLayout;
  fields->addRow(QStringLiteral("User name:"), UserNameEdit);
  fields->addRow(QStringLiteral("IP address:"), IPAddressEdit);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(OKButton, 0, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(OKButton, &QPushButton::clicked, this, &EntryForm::Confirm);
  connect(UserNameEdit, &QLineEdit::returnPressed, this, &EntryForm::Confirm);
  connect(IPAddressEdit, &QLineEdit::returnPressed, this, &EntryForm::Confirm);
}

void TUserNameForm::ResetFields() {
  UserNameEdit->clear();
  IPAddressEdit->setText(QString::fromLatin1(kUnknownAddress));
}

}  // namespace qm
