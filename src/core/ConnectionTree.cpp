#include "core/ConnectionTree.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace qm {

ConnectionTree::ConnectionTree(bool ownsRecords) : ownsRecords_(ownsRecords) {}

ConnectionTree::~ConnectionTree() = default;

std::vector<std::unique_ptr<TreeNode>>& ConnectionTree::SiblingsOf(TreeNode* parent) {
  return parent ? parent->children_ : roots_;
}

TreeNode* ConnectionTree::Insert(TreeNode* parent, std::unique_ptr<TreeNode> node) {
  auto& siblings = SiblingsOf(parent);
  node->tree_ = this;
  node->parent_ = parent;
  node->row_ = static_cast<int>(siblings.size());
  TreeNode* raw = node.get();
  siblings.push_back(std::move(node));
  if (!parent) topIndex_[raw->text_].push_back(raw);
  ++count_;
  for (TreeObserver* o : observers_) o->NodeInserted(*raw);
  return raw;
}

TreeNode* ConnectionTree::Add(TreeNode* parent, const std::string& text, TTreeNodeCustom* record) {
  auto node = std::make_unique<TreeNode>();
  node->text_ = text;
  node->data_ = record;
  if (ownsRecords_) node->owned_.reset(record);
  return Insert(parent, std::move(node));
}

TreeNode* ConnectionTree::AddOwned(TreeNode* parent, const std::string& text,
                                   std::unique_ptr<TTreeNodeCustom> record) {
  assert(ownsRecords_);
  auto node = std::make_unique<TreeNode>();
  node->text_ = text;
  node->data_ = record.get();
  node->owned_ = std::move(record);
  return Insert(parent, std::move(node));
}

void ConnectionTree::Unindex(TreeNode* node) {
  auto it = topIndex_.find(node->text_);
  if (it == topIndex_.end()) return;
  auto& v = it->second;
  v.erase(std::remove(v.begin(), v.end(), node), v.end());
  if (v.empty()) topIndex_.erase(it);
}

void ConnectionTree::ForgetSubtree(TreeNode* node) {
  Visit(*node, [this](TreeNode& n) {
    --count_;
    if (selected_ == &n) selected_ = nullptr;
  });
}

void ConnectionTree::Delete(TreeNode* node) {
  if (!node) return;
  for (TreeObserver* o : observers_) o->NodeAboutToBeRemoved(*node);
  TreeNode* parent = node->parent_;
  const bool wasSelected = selected_ != nullptr;
  ForgetSubtree(node);
  if (!parent) Unindex(node);
  auto& siblings = SiblingsOf(parent);
  const int row = node->row_;
  siblings.erase(siblings.begin() + row);
  for (std::size_t i = static_cast<std::size_t>(row); i < siblings.size(); ++i) {
    siblings[i]->row_ = static_cast<int>(i);
  }
  for (TreeObserver* o : observers_) o->NodeRemoved(parent, row);
  if (wasSelected && !selected_) {
    for (TreeObserver* o : observers_) o->SelectionChanged(nullptr);
  }
}

std::vector<std::unique_ptr<TTreeNodeCustom>> ConnectionTree::Clear(
    const std::function<bool(const TTreeNodeCustom&)>& keep) {
  std::vector<std::unique_ptr<TTreeNodeCustom>> kept;
  for (auto& root : roots_) {
    Visit(*root, [&](TreeNode& n) {
      if (n.owned_ && keep && keep(*n.owned_)) kept.push_back(std::move(n.owned_));
    });
  }
  while (!roots_.empty()) Delete(roots_.back().get());
  return kept;
}

std::unique_ptr<TTreeNodeCustom> ConnectionTree::ReleaseRecord(TreeNode* node) {
  node->data_ = nullptr;
  return std::move(node->owned_);
}

void ConnectionTree::FreeRecord(TreeNode* node) {
  node->owned_.reset();
  node->data_ = nullptr;
}

void ConnectionTree::SetImages(TreeNode* node, int index) {
  if (!node) return;
  node->imageIndex_ = index;
  node->selectedIndex_ = index;
  for (TreeObserver* o : observers_) o->NodeChanged(*node);
}

void ConnectionTree::SetExpanded(TreeNode* node, bool expanded) {
  if (!node || node->expanded_ == expanded) return;
  node->expanded_ = expanded;
  for (TreeObserver* o : observers_) o->NodeChanged(*node);
}

void ConnectionTree::ExpandAll() {
  ForEach([this](TreeNode& n) {
    if (!n.children_.empty()) SetExpanded(&n, true);
  });
}

void ConnectionTree::CollapseAll() {
  ForEach([this](TreeNode& n) { SetExpanded(&n, false); });
}

void ConnectionTree::MakeVisible(TreeNode* node) {
  if (!node) return;
  for (TreeNode* p = node->parent_; p; p = p->parent_) SetExpanded(p, true);
  for (TreeObserver* o : observers_) o->MadeVisible(*node);
}

TreeNode* ConnectionTree::LastTopLevel(const std::string& text) const {
  auto it = topIndex_.find(text);
  if (it == topIndex_.end() || it->second.empty()) return nullptr;
  return it->second.back();
}

void ConnectionTree::Visit(TreeNode& node, const std::function<void(TreeNode&)>& visit) {
  visit(node);
  for (auto& child : node.children_) Visit(*child, visit);
}

void ConnectionTree::ForEach(const std::function<void(TreeNode&)>& visit) const {
  for (const auto& root : roots_) Visit(*root, visit);
}

void ConnectionTree::Select(TreeNode* node) {
  if (selected_ == node) return;
  selected_ = node;
  for (TreeObserver* o : observers_) o->SelectionChanged(node);
}

void ConnectionTree::RemoveObserver(TreeObserver* o) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

TreeNode* FindNode(const ConnectionTree& tree, const TreeNode* parent, const std::string& text) {
  if (!parent) return tree.LastTopLevel(text);
  for (int i = parent->ChildCount() - 1; i >= 0; --i) {
    if (parent->Child(i)->Text() == text) return parent->Child(i);
  }
  return nullptr;
}

void FreeSubtreeData(TreeNode* node) {
  if (!node) return;
  for (int i = 0; i < node->ChildCount(); ++i) {
    TreeNode* child = node->Child(i);
    child->Tree().FreeRecord(child);
    FreeSubtreeData(child);
  }
}

void MarkSubtreeKicked(TreeNode* node) {
  if (!node) return;
  for (int i = 0; i < node->ChildCount(); ++i) {
    TreeNode* child = node->Child(i);
    if (child->Data()) child->Data()->ExitStatus = stKicked;
    MarkSubtreeKicked(child);
  }
}

}  // namespace qm
