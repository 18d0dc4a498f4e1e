// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QTreeView>
#include <vector>

namespace qm {

class ConnectionTreeModel;
class TreeNode;

// A read-only tree view of one connection tree that keeps the view and the
// tree in step both ways: the tree's Expanded flags and selected node show
// in the view, and the user's expanding, collapsing and selecting reach the
// tree. A node the tree makes visible is scrolled to once control returns
// to the event loop, unless the selected row is in sight: that row keeps
// its place on the screen while rows above it come and go.
class ConnectionTreeView final : public QTreeView {
  Q_OBJECT

 public:
  explicit ConnectionTreeView(QWidget* parent = nullptr);

  void SetTreeModel(ConnectionTreeModel* model);
  ConnectionTreeModel* TreeModel() const { return model_; }
  // The node under a point of the viewport, or null.
  TreeNode* NodeAt(const QPoint& point) const;
  // Whether the expand and collapse buttons are drawn (the indentation
  // stays either way).
  void SetExpandButtons(bool shown);
  bool ExpandButtons() const { return expandButtons_; }

 protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
  void changeEvent(QEvent* event) override;

 private:
  void FollowExpansion(const QModelIndex& index, bool expanded);
  void FollowSelection(const QModelIndex& index);
  void ViewExpanded(const QModelIndex& index, bool expanded);
  void ApplyExpansion(const QModelIndex& parent);
  void ScrollLater(const QModelIndex& index);
  void ScrollNow();
  bool SelectedRowInSight() const;
  void RememberPlace();
  void HoldSelectedRow();
  void KeepSelectedRow();
  void FitColumnLater();
  void FitColumn();
  void WidenFor(const QModelIndex& parent, int first, int last);
  int TextWidth(const QString& text);

  ConnectionTreeModel* model_ = nullptr;
  QPersistentModelIndex scrollTarget_;
  QPersistentModelIndex held_;  // the selected row where the user has it
  int heldTop_ = 0;
  bool holdPending_ = false;
  // Changes that came from the tree, not to be sent back.
  bool followingExpansion_ = false;
  bool followingSelection_ = false;
  bool expandButtons_ = true;
  bool fitPending_ = false;
  std::vector<qreal> asciiAdvances_;  // of the view's font; empty until needed
};

}  // namespace qm
