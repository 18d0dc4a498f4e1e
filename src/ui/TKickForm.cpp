// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/TKickForm.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/Monitor.h"
#include "ui/DialogButtons.h"

namespace qm {

TKickForm::TKickForm(DisconnectStatus& status, std::function<void()> showDisconnectList,
                     QWidget* parent)
    : QDialog(parent), status_(status), showDisconnectList_(std::move(showDisconnectList)) {
  setWindowTitle("Disconnect");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  KickNobodyRadioButton = new QRadioButton("Disconnect no one", this);
  KickListRadioButton = new QRadioButton("Disconnect users from List", this);
  KickAllRadioButton = new QRadioButton("Disconnect all users", this);
  auto* group = new QButtonGroup(this);
  group->addButton(KickNobodyRadioButton, KickNobody);
  group->addButton(KickListRadioButton, KickList);
  group->addButton(KickAllRadioButton, KickAll);
  KickListButton = new QPushButton("Disconnect List", this);
  OKButton = new QPushButton("OK", this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(KickNobodyRadioButton);
  layout->addWidget(KickListRadioButton);
  layout->addWidget(KickAllRadioButton);
  layout->addSpacing(8);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(KickListButton);
  buttons->addStretch();
  buttons->addWidget(OKButton);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(group, &QButtonGroup::idClicked, this,
          [this](int id) { status_.SetWhoToKick(KickStatusFromCode(id)); });
  connect(KickListButton, &QPushButton::clicked, this, [this] {
    if (showDisconnectList_) showDisconnectList_();
  });
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
  MakeOnlyDefault(*this, *OKButton);
  status_.AddObserver(this);
  WhoToKickChanged(status_.WhoToKick());
}

TKickForm::~TKickForm() {
  status_.RemoveObserver(this);
}

void TKickForm::WhoToKickChanged(KickStatus value) {
  QRadioButton* button = value == KickAll    ? KickAllRadioButton
                         : value == KickList ? KickListRadioButton
                                             : KickNobodyRadioButton;
  button->setChecked(true);
}

void TKickForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  OKButton->setFocus();
}

bool TKickForm::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) OKButton->setFocus();
  return QDialog::event(event);
}

}  // namespace qm
