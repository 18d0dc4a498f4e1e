// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/ConnectionTreeView.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <cmath>

#include "core/ConnectionTree.h"
#include "ui/ConnectionTreeModel.h"

namespace qm {

ConnectionTreeView::ConnectionTreeView(QWidget* parent) : QTreeView(parent) {
  setHeaderHidden(true);
  setIndentation(19);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformRowHeights(true);
  // A long path is scrolled to rather than cut: the one column is as wide
  // as the widest row in sight, and at least as wide as the view. Rows in
  // sight are measured as the user scrolls, resizes, opens or closes (a
  // measure lays the whole view out, too dear at every tick); a row that
  // arrives wider than the column widens it at once.
  header()->setStretchLastSection(false);
  header()->setResizeContentsPrecision(0);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
          &ConnectionTreeView::FitColumnLater);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
    if (!holdPending_) RememberPlace();
  });
  // An expansion the tree asks for shows rows measured as they arrived (a
  // new user's, at every tick that brings one); the user's own is measured.
  connect(this, &QTreeView::expanded, this, [this](const QModelIndex& i) {
    if (!followingExpansion_) FitColumnLater();
    ViewExpanded(i, true);
  });
  connect(this, &QTreeView::collapsed, this, &ConnectionTreeView::FitColumnLater);
  connect(this, &QTreeView::collapsed, this,
          [this](const QModelIndex& i) { ViewExpanded(i, false); });
}

void ConnectionTreeView::SetTreeModel(ConnectionTreeModel* model) {
  if (model_) disconnect(model_, nullptr, this, nullptr);
  model_ = model;
  // A new selection model starts with no current row; that is not the
  // user's choice, the tree keeps its selection.
  followingSelection_ = true;
  setModel(model);
  followingSelection_ = false;
  if (!model_) return;
  connect(model_, &ConnectionTreeModel::ExpansionChanged, this,
          &ConnectionTreeView::FollowExpansion);
  connect(model_, &ConnectionTreeModel::NodeMadeVisible, this, &ConnectionTreeView::ScrollLater);
  connect(model_, &ConnectionTreeModel::TreeSelectionChanged, this,
          &ConnectionTreeView::FollowSelection);
  // A node's first child brings its Expanded flag into the view. QTreeView
  // lays a row out collapsed while it has no children, whatever its mark
  // says; a relayout (coalesced, and due anyway after an insertion) brings
  // mark and layout together again. Later children find the flag in place:
  // the view follows every change of it while there are children.
  connect(model_, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex& parent, int first, int last) {
            TreeNode* node = model_->NodeOf(parent);
            if (!node || model_->rowCount(parent) != last - first + 1) return;
            scheduleDelayedItemsLayout();
            FollowExpansion(parent, node->Expanded());
          });
  connect(model_, &QAbstractItemModel::rowsInserted, this, &ConnectionTreeView::WidenFor);
  connect(model_, &QAbstractItemModel::rowsAboutToBeInserted, this,
          &ConnectionTreeView::HoldSelectedRow);
  connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
          &ConnectionTreeView::HoldSelectedRow);
  ApplyExpansion(QModelIndex());
  FollowSelection(model_->IndexOf(model_->Tree().Selected()));
  FitColumnLater();
}

void ConnectionTreeView::FitColumnLater() {
  if (fitPending_) return;
  fitPending_ = true;
  QTimer::singleShot(0, this, &ConnectionTreeView::FitColumn);
}

void ConnectionTreeView::WidenFor(const QModelIndex& parent, int first, int last) {
  // A hidden view is fitted when it is shown.
  if (header()->count() == 0 || !isVisible()) return;
  int depth = rootIsDecorated() ? 1 : 0;
  for (QModelIndex p = parent; p.isValid(); p = p.parent()) ++depth;
  const int icon = iconSize().isValid()
                       ? iconSize().width()
                       : style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
  int widest = 0;
  for (int row = first; row <= last; ++row) {
    widest = std::max(widest, TextWidth(model_->index(row, 0, parent).data().toString()));
  }
  // The icon's and the text's margins on either side.
  const int width = indentation() * depth + icon + widest + 16;
  if (width > header()->sectionSize(0)) header()->resizeSection(0, width);
}

int ConnectionTreeView::TextWidth(const QString& text) {
  // Shaping a text to measure it costs more than the rest of an arrival;
  // the advances of plain ASCII characters, added up, are as good here (at
  // most a little wider, without kerning).
  if (asciiAdvances_.empty()) {
    const QFontMetricsF metrics(font());
    asciiAdvances_.resize(128);
    for (int c = 0; c < 128; ++c)
      asciiAdvances_[static_cast<std::size_t>(c)] = metrics.horizontalAdvance(QChar(c));
  }
  qreal width = 0;
  for (const QChar c : text) {
    if (c.unicode() >= 128) return fontMetrics().horizontalAdvance(text);
    width += asciiAdvances_[c.unicode()];
  }
  return static_cast<int>(std::ceil(width)) + 1;
}

void ConnectionTreeView::changeEvent(QEvent* event) {
  QTreeView::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    asciiAdvances_.clear();
  }
}

void ConnectionTreeView::FitColumn() {
  fitPending_ = false;
  // Measuring lays the view out; a hidden view (the other page, or the
  // window in the notification area) is measured when it is shown.
  if (!model_ || header()->count() == 0 || !isVisible()) return;
  const int width = std::max(viewport()->width(), sizeHintForColumn(0));
  if (header()->sectionSize(0) != width) header()->resizeSection(0, width);
}

void ConnectionTreeView::ScrollLater(const QModelIndex& index) {
  // Scrolling lays the whole view out at once; a tick makes many nodes
  // visible, and only where the last one is matters.
  const bool pending = scrollTarget_.isValid();
  scrollTarget_ = index;
  if (pending) return;
  QTimer::singleShot(0, this, &ConnectionTreeView::ScrollNow);
}

void ConnectionTreeView::ScrollNow() {
  // A hidden view (the other page) is scrolled when it is shown.
  if (!isVisible()) return;
  const QModelIndex target = scrollTarget_;
  scrollTarget_ = QPersistentModelIndex();
  // The selected row in sight stays where the user has it.
  if (target.isValid() && !SelectedRowInSight()) scrollTo(target);
}

bool ConnectionTreeView::SelectedRowInSight() const {
  const QModelIndex current = currentIndex();
  return current.isValid() && viewport()->rect().intersects(visualRect(current));
}

void ConnectionTreeView::RememberPlace() {
  // Where the user has the selected row: measured between changes only,
  // while the rows on the screen are the ones laid out.
  held_ = SelectedRowInSight() ? QPersistentModelIndex(currentIndex()) : QPersistentModelIndex();
  if (held_.isValid()) heldTop_ = visualRect(held_).top();
}

void ConnectionTreeView::HoldSelectedRow() {
  if (holdPending_ || !isVisible()) return;
  holdPending_ = true;
  QTimer::singleShot(0, this, &ConnectionTreeView::KeepSelectedRow);
}

void ConnectionTreeView::KeepSelectedRow() {
  const QModelIndex row = held_;
  if (row.isValid() && row == currentIndex()) {
    executeDelayedItemsLayout();
    const int shift = visualRect(row).top() - heldTop_;
    // Rows above came or went: the view scrolls by as much.
    const int step = verticalScrollMode() == ScrollPerItem ? std::max(1, rowHeight(row)) : 1;
    if (shift != 0) verticalScrollBar()->setValue(verticalScrollBar()->value() + shift / step);
  }
  holdPending_ = false;
  RememberPlace();
}

void ConnectionTreeView::showEvent(QShowEvent* event) {
  QTreeView::showEvent(event);
  FitColumnLater();
  if (scrollTarget_.isValid()) QTimer::singleShot(0, this, &ConnectionTreeView::ScrollNow);
}

void ConnectionTreeView::resizeEvent(QResizeEvent* event) {
  QTreeView::resizeEvent(event);
  if (!holdPending_) RememberPlace();
  FitColumnLater();
}

void ConnectionTreeView::SetExpandButtons(bool shown) {
  expandButtons_ = shown;
  viewport()->update();
}

void ConnectionTreeView::drawBranches(QPainter* painter, const QRect& rect,
                                      const QModelIndex& index) const {
  if (expandButtons_) QTreeView::drawBranches(painter, rect, index);
}

TreeNode* ConnectionTreeView::NodeAt(const QPoint& point) const {
  return model_ ? model_->NodeOf(indexAt(point)) : nullptr;
}

void ConnectionTreeView::ApplyExpansion(const QModelIndex& parent) {
  const int n = model_->rowCount(parent);
  for (int row = 0; row < n; ++row) {
    const QModelIndex i = model_->index(row, 0, parent);
    if (const TreeNode* node = model_->NodeOf(i)) FollowExpansion(i, node->Expanded());
    ApplyExpansion(i);
  }
}

void ConnectionTreeView::FollowExpansion(const QModelIndex& index, bool expanded) {
  // Rows without children wait for their first child (see SetTreeModel).
  if (model_->rowCount(index) == 0 || isExpanded(index) == expanded) return;
  followingExpansion_ = true;
  setExpanded(index, expanded);
  if (isExpanded(index) != expanded) {
    // A mark left from a time without children, which a collapse against
    // the current layout does not remove; against a pending layout it does.
    scheduleDelayedItemsLayout();
    setExpanded(index, expanded);
  }
  followingExpansion_ = false;
}

void ConnectionTreeView::FollowSelection(const QModelIndex& index) {
  if (currentIndex() == index) return;
  // Selecting a hidden node expands its parents, as the user would see it;
  // those expansions do reach the tree.
  followingSelection_ = true;
  if (index.isValid()) {
    setCurrentIndex(index);
  } else {
    selectionModel()->clear();
  }
  followingSelection_ = false;
}

void ConnectionTreeView::ViewExpanded(const QModelIndex& index, bool expanded) {
  if (followingExpansion_ || !model_) return;
  if (TreeNode* node = model_->NodeOf(index)) model_->Tree().SetExpanded(node, expanded);
}

void ConnectionTreeView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTreeView::currentChanged(current, previous);
  if (!holdPending_)
    QTimer::singleShot(0, this, [this] {
      if (!holdPending_) RememberPlace();
    });
  if (followingSelection_ || !model_ || model_->Removing()) return;
  model_->Tree().Select(model_->NodeOf(current));
}

}  // namespace qm
