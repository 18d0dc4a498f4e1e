// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/TKickListForm.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/Ports.h"
#include "enforce/DisconnectListCommands.h"
#include "ui/DialogButtons.h"

namespace qm {

TKickListForm::TKickListForm(DisconnectList& list, MessageBoxes& messages, Hooks hooks,
                             QWidget* parent)
    : QDialog(parent), list_(list), messages_(messages), hooks_(std::move(hooks)) {
  setWindowTitle("Disconnect List");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setSizeGripEnabled(true);

  ListView = new QTreeWidget(this);
  ListView->setColumnCount(2);
  ListView->setAccessibleName("Disconnect List");
  ListView->setHeaderLabels({"Username", "IP address"});
  ListView->setRootIsDecorated(false);
  ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView->setColumnWidth(0, 103);
  ListView->setColumnWidth(1, 100);
  ListView->setContextMenuPolicy(Qt::CustomContextMenu);

  ClearListButton = new QPushButton("Clear List", this);
  AddUserButton = new QPushButton("Add user", this);
  RemoveUserButton = new QPushButton("Remove user", this);
  OKButton = new QPushButton("OK", this);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ClearListButton);
  buttons->addWidget(AddUserButton);
  buttons->addWidget(RemoveUserButton);
  buttons->addStretch();
  buttons->addWidget(OKButton);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(ListView, 1);
  layout->addLayout(buttons);

  connect(ClearListButton, &QPushButton::clicked, this, [this] {
    if (list_.Count() > 0 && messages_.Confirm("Remove every user from the Disconnect List?")) {
      list_.Clear();
    }
  });
  connect(AddUserButton, &QPushButton::clicked, this, &TKickListForm::AddUserClick);
  connect(RemoveUserButton, &QPushButton::clicked, this, &TKickListForm::RemoveUserClick);
  connect(OKButton, &QPushButton::clicked, this, [this] {
    confirmed_ = true;
    accept();
  });
  MakeOnlyDefault(*this, *OKButton);
  connect(ListView, &QWidget::customContextMenuRequested, this, &TKickListForm::ContextMenu);
  // The list also changes from outside (the lookup fills in addresses).
  list_.SetOnChanged([this] { ShowList(); });
  ShowList();
}

TKickListForm::~TKickListForm() {
  list_.SetOnChanged(nullptr);
}

void TKickListForm::ShowList() {
  const int current = ListView->indexOfTopLevelItem(ListView->currentItem());
  ListView->clear();
  QList<QTreeWidgetItem*> items;
  for (const DisconnectListEntry& e : list_.Entries()) {
    items.append(new QTreeWidgetItem(
        {QString::fromStdString(e.EntryName), QString::fromStdString(e.EntryAddress)}));
  }
  ListView->addTopLevelItems(items);
  // The widths suit the fonts of old; a name or address that today's font
  // makes wider widens its column (the list scrolls sideways) rather than
  // being cut.
  for (int column : {0, 1}) {
    const int wanted = static_cast<QAbstractItemView*>(ListView)->sizeHintForColumn(column);
    if (wanted > ListView->columnWidth(column)) ListView->setColumnWidth(column, wanted);
  }
  if (current >= 0 && current < ListView->topLevelItemCount()) {
    ListView->setCurrentItem(ListView->topLevelItem(current));
  }
}

void TKickListForm::ShowModal() {
  confirmed_ = false;
  snapshot_ = list_.Snapshot();
  ShowList();
  exec();
}

bool TKickListForm::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) ListView->setFocus();
  return QDialog::event(event);
}

void TKickListForm::done(int result) {
  if (!confirmed_) list_.Restore(snapshot_);
  QDialog::done(result);
}

void TKickListForm::AddUserClick() {
  if (!hooks_.askUser) return;
  const auto [name, address] = hooks_.askUser();
  DisconnectListCommands::DialogAddUser(list_, messages_, name, address);
}

void TKickListForm::RemoveUserClick() {
  QTreeWidgetItem* item = ListView->currentItem();
  if (!item || !item->isSelected()) return;
  list_.Remove(static_cast<std::size_t>(ListView->indexOfTopLevelItem(item)));
  // Nothing is selected afterwards: a second click must not remove the
  // entry that moved up into the row.
  ListView->setCurrentItem(nullptr);
  ListView->clearSelection();
}

void TKickListForm::ContextMenu(const QPoint& pos) {
  QTreeWidgetItem* item = ListView->currentItem();
  if (!item || !item->isSelected()) return;  // no entry selected: no menu
  const int row = ListView->indexOfTopLevelItem(item);
  QMenu menu(this);
  QAction* open = menu.addAction("&Open computer");
  connect(open, &QAction::triggered, this, [this, row] {
    if (hooks_.openComputer && row >= 0 && static_cast<std::size_t>(row) < list_.Count()) {
      hooks_.openComputer(list_.Entry(static_cast<std::size_t>(row)).EntryName);
    }
  });
  menu.exec(ListView->viewport()->mapToGlobal(pos));
}

}  // namespace qm
