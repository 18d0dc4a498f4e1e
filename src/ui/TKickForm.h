// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QDialog>
#include <functional>

#include "enforce/DisconnectStatus.h"

class QPushButton;
class QRadioButton;

namespace qm {

// The "Disconnect" dialog: the disconnect status as three radio buttons,
// always in step with the status (a choice takes effect at once; "OK" and
// the close box only close).
class TKickForm final : public QDialog, private DisconnectStatusObserver {
  Q_OBJECT

 public:
  TKickForm(DisconnectStatus& status, std::function<void()> showDisconnectList,
            QWidget* parent = nullptr);
  ~TKickForm() override;

  void ShowModal() { exec(); }

  QRadioButton* KickNobodyRadioButton = nullptr;
  QRadioButton* KickListRadioButton = nullptr;
  QRadioButton* KickAllRadioButton = nullptr;
  QPushButton* KickListButton = nullptr;
  QPushButton* OKButton = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void WhoToKickChanged(KickStatus value) override;

  DisconnectStatus& status_;
  std::function<void()> showDisconnectList_;
};

}  // namespace qm
