// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/ConnectionTreeModel.h"

#include <QTimer>
#include <algorithm>

#include "core/Resources.h"
#include "ui/TreeImageList.h"

namespace qm {

namespace {
// An index names its row by the parent's row and its number there, as a
// view's layout goes through every row at every change and a row of its
// own would cost a read from memory each. A file row's index also says
// that it never has children (in the low bit of the parent's address, free
// by alignment): the layout asks that of every row.
constexpr quintptr kFileRow = 1;
}  // namespace

ConnectionTreeModel::ConnectionTreeModel(ConnectionTree& tree, const TreeImageList& images,
                                         QObject* parent)
    : QAbstractItemModel(parent), tree_(tree), images_(images) {
  // The rows of a tree that already has nodes, in tree order.
  tree_.ForEach([this](TreeNode& node) {
    Row* parentRow = node.Parent() ? rows_.value(node.Parent()) : &root_;
    auto row = std::make_unique<Row>();
    row->node = &node;
    row->parent = parentRow;
    row->row = static_cast<int>(parentRow->children.size());
    row->level = parentRow->level + 1;
    rows_[&node] = row.get();
    parentRow->children.push_back(std::move(row));
  });
  tree_.AddObserver(this);
}

ConnectionTreeModel::~ConnectionTreeModel() {
  tree_.RemoveObserver(this);
}

ConnectionTreeModel::Row* ConnectionTreeModel::ParentRowOf(const QModelIndex& index) {
  return reinterpret_cast<Row*>(index.internalId() & ~kFileRow);
}

ConnectionTreeModel::Row* ConnectionTreeModel::RowOf(const QModelIndex& index) const {
  if (!index.isValid()) return const_cast<Row*>(&root_);
  return ParentRowOf(index)->children[static_cast<std::size_t>(index.row())].get();
}

QModelIndex ConnectionTreeModel::ChildIndex(int row, const Row* parent) const {
  static_assert(alignof(Row) > kFileRow);
  const bool file = parent->level >= 1;
  return createIndex(row, 0, reinterpret_cast<quintptr>(parent) | (file ? kFileRow : 0));
}

QModelIndex ConnectionTreeModel::IndexOfRow(const Row* row) const {
  if (!row || row == &root_) return {};
  return ChildIndex(row->row, row->parent);
}

TreeNode* ConnectionTreeModel::NodeOf(const QModelIndex& index) const {
  return index.isValid() ? RowOf(index)->node : nullptr;
}

QModelIndex ConnectionTreeModel::IndexOf(const TreeNode* node) const {
  if (!node) return {};
  return IndexOfRow(rows_.value(node));
}

QModelIndex ConnectionTreeModel::index(int row, int column, const QModelIndex& parent) const {
  const Row* p = RowOf(parent);
  if (row < 0 || column != 0 || parent.column() > 0 ||
      row >= static_cast<int>(p->children.size())) {
    return {};
  }
  return ChildIndex(row, p);
}

QModelIndex ConnectionTreeModel::parent(const QModelIndex& child) const {
  return child.isValid() ? IndexOfRow(ParentRowOf(child)) : QModelIndex();
}

int ConnectionTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  return static_cast<int>(RowOf(parent)->children.size());
}

int ConnectionTreeModel::columnCount(const QModelIndex& /*parent*/) const {
  return 1;
}

std::string ConnectionTreeModel::SecurityNote(const TreeNode& node) {
  if (node.Level() > 1) return {};
  const TreeNode* top = node.Parent() ? node.Parent() : &node;
  const auto* user = dynamic_cast<const TUser*>(top->Data());
  if (!user) return {};
  const SessionSecurity& s = user->Security;
  if (node.Level() == 1) {
    const bool unencrypted = std::find(s.unencryptedShares.begin(), s.unencryptedShares.end(),
                                       node.Text()) != s.unencryptedShares.end();
    return unencrypted ? "\nNot encrypted, though the share requires encryption" : "";
  }
  const std::string facts = s.Describe();
  return facts.empty() ? std::string() : "\n" + facts;
}

QVariant ConnectionTreeModel::data(const QModelIndex& index, int role) const {
  const TreeNode* node = NodeOf(index);
  if (!node) return {};
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(node->Text());
    case Qt::ToolTipRole:
      // The full text also as a tooltip: a long path may be cut at the
      // view's edge. A user's tells how its sessions are protected.
      return QString::fromStdString(node->Text() + SecurityNote(*node));
    case Qt::DecorationRole:
      return images_.Image(node->ImageIndex());
    default:
      return {};
  }
}

Qt::ItemFlags ConnectionTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  if (HasDroppedRows() && !RowOf(index)->node) return Qt::ItemNeverHasChildren;
  // Files are the last level. Saying so spares a view's layout the child
  // and expansion look-ups of some 30,000 rows per 2,000 users.
  const bool file = (index.internalId() & kFileRow) != 0;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable |
         (file ? Qt::ItemNeverHasChildren : Qt::NoItemFlags);
}

void ConnectionTreeModel::NodeInserted(TreeNode& node) {
  Row* parentRow = node.Parent() ? rows_.value(node.Parent()) : &root_;
  if (!parentRow) return;
  const int at = static_cast<int>(parentRow->children.size());
  beginInsertRows(IndexOfRow(parentRow), at, at);
  auto row = std::make_unique<Row>();
  row->node = &node;
  row->parent = parentRow;
  row->row = at;
  row->level = parentRow->level + 1;
  rows_[&node] = row.get();
  parentRow->children.push_back(std::move(row));
  endInsertRows();
}

void ConnectionTreeModel::Forget(Row& row) {
  rows_.remove(row.node);
  row.node = nullptr;
  for (auto& child : row.children) Forget(*child);
}

void ConnectionTreeModel::NodeAboutToBeRemoved(TreeNode& node) {
  Row* row = rows_.value(&node);
  if (!row) return;
  Forget(*row);
  if (!row->parent->dropsPending) {
    row->parent->dropsPending = true;
    pendingParents_.push_back(row->parent);
  }
  if (!flushQueued_) {
    flushQueued_ = true;
    QTimer::singleShot(0, this, &ConnectionTreeModel::Flush);
  }
}

void ConnectionTreeModel::RemoveDroppedChildren(Row& parent) {
  parent.dropsPending = false;
  auto& children = parent.children;
  const QModelIndex parentIndex = IndexOfRow(&parent);
  // Runs of dropped rows from the last to the first, so that the rows
  // before a run keep their numbers.
  int last = static_cast<int>(children.size()) - 1;
  while (last >= 0) {
    if (children[static_cast<std::size_t>(last)]->node) {
      --last;
      continue;
    }
    int first = last;
    while (first > 0 && !children[static_cast<std::size_t>(first - 1)]->node) --first;
    beginRemoveRows(parentIndex, first, last);
    children.erase(children.begin() + first, children.begin() + last + 1);
    for (std::size_t i = static_cast<std::size_t>(first); i < children.size(); ++i) {
      children[i]->row = static_cast<int>(i);
    }
    endRemoveRows();
    last = first - 1;
  }
}

void ConnectionTreeModel::Flush() {
  flushQueued_ = false;
  if (pendingParents_.empty()) return;
  // A parent that was dropped itself goes with its own parent's run (and
  // is freed then), so only the parents still in the tree are kept, before
  // anything is freed.
  std::vector<Row*> parents;
  for (Row* parent : pendingParents_) {
    if (parent == &root_ || parent->node) parents.push_back(parent);
  }
  pendingParents_.clear();
  removing_ = true;
  for (Row* parent : parents) RemoveDroppedChildren(*parent);
  removing_ = false;
}

void ConnectionTreeModel::NodeChanged(TreeNode& node) {
  const QModelIndex i = IndexOf(&node);
  if (!i.isValid()) return;
  emit dataChanged(i, i, {Qt::DecorationRole});
  emit ExpansionChanged(i, node.Expanded());
}

void ConnectionTreeModel::MadeVisible(TreeNode& node) {
  const QModelIndex i = IndexOf(&node);
  if (i.isValid()) emit NodeMadeVisible(i);
}

void ConnectionTreeModel::SelectionChanged(TreeNode* node) {
  emit TreeSelectionChanged(IndexOf(node));
}

}  // namespace qm
