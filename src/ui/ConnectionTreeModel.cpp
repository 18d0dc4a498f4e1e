#include "ui/ConnectionTreeModel.h"

#include "ui/TreeImageList.h"

namespace qm {

ConnectionTreeModel::ConnectionTreeModel(ConnectionTree& tree, const TreeImageList& images,
                                         QObject* parent)
    : QAbstractItemModel(parent), tree_(tree), images_(images) {
  tree_.AddObserver(this);
}

ConnectionTreeModel::~ConnectionTreeModel() {
  tree_.RemoveObserver(this);
}

TreeNode* ConnectionTreeModel::NodeOf(const QModelIndex& index) const {
  return index.isValid() ? static_cast<TreeNode*>(index.internalPointer()) : nullptr;
}

QModelIndex ConnectionTreeModel::IndexOf(const TreeNode* node) const {
  if (!node) return {};
  return createIndex(node->Row(), 0, const_cast<TreeNode*>(node));
}

QModelIndex ConnectionTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column != 0 || row >= rowCount(parent)) return {};
  const TreeNode* p = NodeOf(parent);
  return IndexOf(p ? p->Child(row) : tree_.TopLevel(row));
}

QModelIndex ConnectionTreeModel::parent(const QModelIndex& child) const {
  const TreeNode* node = NodeOf(child);
  return node ? IndexOf(node->Parent()) : QModelIndex();
}

int ConnectionTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  const TreeNode* p = NodeOf(parent);
  const int n = p ? p->ChildCount() : tree_.TopLevelCount();
  return inserting_ && insertParent_ == p ? n - 1 : n;
}

int ConnectionTreeModel::columnCount(const QModelIndex& /*parent*/) const {
  return 1;
}

QVariant ConnectionTreeModel::data(const QModelIndex& index, int role) const {
  const TreeNode* node = NodeOf(index);
  if (!node) return {};
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(node->Text());
    case Qt::DecorationRole:
      return images_.Image(node->ImageIndex());
    default:
      return {};
  }
}

Qt::ItemFlags ConnectionTreeModel::flags(const QModelIndex& index) const {
  const TreeNode* node = NodeOf(index);
  if (!node) return Qt::NoItemFlags;
  // Files are the last level. Saying so spares a view's layout the child
  // and expansion look-ups of some 30,000 rows per 2,000 users.
  const Qt::ItemFlags leaf = node->Level() >= 2 ? Qt::ItemNeverHasChildren : Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | leaf;
}

void ConnectionTreeModel::NodeInserted(TreeNode& node) {
  inserting_ = true;
  insertParent_ = node.Parent();
  beginInsertRows(IndexOf(node.Parent()), node.Row(), node.Row());
  inserting_ = false;
  insertParent_ = nullptr;
  endInsertRows();
}

void ConnectionTreeModel::NodeAboutToBeRemoved(TreeNode& node) {
  removing_ = true;
  beginRemoveRows(IndexOf(node.Parent()), node.Row(), node.Row());
}

void ConnectionTreeModel::NodeRemoved(TreeNode* /*parent*/, int /*row*/) {
  endRemoveRows();
  removing_ = false;
}

void ConnectionTreeModel::NodeChanged(TreeNode& node) {
  const QModelIndex i = IndexOf(&node);
  emit dataChanged(i, i, {Qt::DecorationRole});
  emit ExpansionChanged(i, node.Expanded());
}

void ConnectionTreeModel::MadeVisible(TreeNode& node) {
  emit NodeMadeVisible(IndexOf(&node));
}

void ConnectionTreeModel::SelectionChanged(TreeNode* node) {
  emit TreeSelectionChanged(IndexOf(node));
}

}  // namespace qm
