// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QAbstractItemModel>
#include <QHash>
#include <memory>
#include <string>
#include <vector>

#include "core/ConnectionTree.h"

namespace qm {

class TreeImageList;

// A Qt view of one connection tree. It follows the tree's notifications
// row by row, so a tick costs the view only what changed. The tree must
// outlive the model.
//
// Removals reach Qt in batches. The tree takes a leaving user away file by
// file, then share by share, then the user; Qt walks every persistent index
// of the model (a view keeps one per expanded node) on each removal, which
// with thousands of users costs more than the whole tick. So the model
// keeps its own copy of the rows: a node the tree drops stays as an empty
// row until the batch is handed to Qt, once control returns to the event
// loop (or at Flush), as one removal per run of adjacent rows.
class ConnectionTreeModel final : public QAbstractItemModel, private TreeObserver {
  Q_OBJECT

 public:
  ConnectionTreeModel(ConnectionTree& tree, const TreeImageList& images, QObject* parent = nullptr);
  ~ConnectionTreeModel() override;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  ConnectionTree& Tree() const { return tree_; }
  // The node of a row; null for a row whose node the tree has dropped.
  TreeNode* NodeOf(const QModelIndex& index) const;
  QModelIndex IndexOf(const TreeNode* node) const;
  // True while rows are being taken out (views must not move the tree's
  // selection then: the tree decides what is selected afterwards).
  bool Removing() const { return removing_; }
  // Hands the rows of dropped nodes to Qt now.
  void Flush();

 signals:
  // The tree's Expanded flag of a node (a view follows it).
  void ExpansionChanged(const QModelIndex& index, bool expanded);
  // The tree asks its views to scroll to a node.
  void NodeMadeVisible(const QModelIndex& index);
  // The tree's selected node changed; invalid when none is selected.
  void TreeSelectionChanged(const QModelIndex& index);

 private:
  struct Row {
    TreeNode* node = nullptr;  // null once the tree dropped it
    Row* parent = nullptr;
    int row = 0;                // among the parent's rows as Qt knows them
    int level = -1;             // 0 a user, 1 a share, 2 a file
    bool dropsPending = false;  // some children are dropped nodes
    std::vector<std::unique_ptr<Row>> children;
  };

  void NodeInserted(TreeNode& node) override;
  void NodeAboutToBeRemoved(TreeNode& node) override;
  void NodeChanged(TreeNode& node) override;
  void MadeVisible(TreeNode& node) override;
  void SelectionChanged(TreeNode* node) override;

  static Row* ParentRowOf(const QModelIndex& index);
  // What a user's or share's tooltip adds to its text (from the server's
  // security facts), "" when nothing.
  static std::string SecurityNote(const TreeNode& node);
  Row* RowOf(const QModelIndex& index) const;
  QModelIndex ChildIndex(int row, const Row* parent) const;
  QModelIndex IndexOfRow(const Row* row) const;
  bool HasDroppedRows() const { return removing_ || !pendingParents_.empty(); }
  void Forget(Row& row);
  void RemoveDroppedChildren(Row& parent);

  ConnectionTree& tree_;
  const TreeImageList& images_;
  Row root_;
  QHash<const TreeNode*, Row*> rows_;
  std::vector<Row*> pendingParents_;
  bool flushQueued_ = false;
  bool removing_ = false;
};

}  // namespace qm
