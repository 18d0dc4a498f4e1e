#pragma once

#include <QAbstractItemModel>

#include "core/ConnectionTree.h"

namespace qm {

class TreeImageList;

// A Qt view of one connection tree. It follows the tree's notifications
// row by row, so a tick costs the view only what changed. The tree must
// outlive the model.
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
  TreeNode* NodeOf(const QModelIndex& index) const;
  QModelIndex IndexOf(const TreeNode* node) const;
  // True while rows are being taken out (views must not move the tree's
  // selection then: the tree decides what is selected afterwards).
  bool Removing() const { return removing_; }

 signals:
  // The tree's Expanded flag of a node (a view follows it).
  void ExpansionChanged(const QModelIndex& index, bool expanded);
  // The tree asks its views to scroll to a node.
  void NodeMadeVisible(const QModelIndex& index);
  // The tree's selected node changed; invalid when none is selected.
  void TreeSelectionChanged(const QModelIndex& index);

 private:
  void NodeInserted(TreeNode& node) override;
  void NodeAboutToBeRemoved(TreeNode& node) override;
  void NodeRemoved(TreeNode* parent, int row) override;
  void NodeChanged(TreeNode& node) override;
  void MadeVisible(TreeNode& node) override;
  void SelectionChanged(TreeNode* node) override;

  ConnectionTree& tree_;
  const TreeImageList& images_;
  // The tree tells of an insertion only once the node is in place, while
  // Qt must hear of it before. Nodes are only ever appended, so during
  // beginInsertRows the model hides the last child of this parent.
  bool inserting_ = false;
  const TreeNode* insertParent_ = nullptr;
  bool removing_ = false;
};

}  // namespace qm
