// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "enforce/DisconnectList.h"

class QPushButton;
class QTreeWidget;

namespace qm {

class MessageBoxes;

// The "Disconnect List" dialog. Shown: a snapshot of the list is taken;
// closed without "OK", the list goes back to it (additions, removals,
// clearing, and addresses the lookup filled in meanwhile).
class TKickListForm final : public QDialog {
  Q_OBJECT

 public:
  struct Hooks {
    // Asks the user name dialog: name (empty when not confirmed), address.
    std::function<std::pair<std::string, std::string>()> askUser;
    std::function<void(const std::string& name)> openComputer;
  };

  TKickListForm(DisconnectList& list, MessageBoxes& messages, Hooks hooks,
                QWidget* parent = nullptr);
  ~TKickListForm() override;

  void ShowModal();
  bool Confirmed() const { return confirmed_; }

  QTreeWidget* ListView = nullptr;
  QPushButton* ClearListButton = nullptr;
  QPushButton* AddUserButton = nullptr;
  QPushButton* RemoveUserButton = nullptr;
  QPushButton* OKButton = nullptr;

 public slots:
  void done(int result) override;

 protected:
  bool event(QEvent* event) override;

 private:
  void ShowList();
  void AddUserClick();
  void RemoveUserClick();
  void ContextMenu(const QPoint& pos);

  DisconnectList& list_;
  MessageBoxes& messages_;
  Hooks hooks_;
  PackedTexts snapshot_;
  bool confirmed_ = false;
};

}  // namespace qm
