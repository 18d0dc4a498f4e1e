// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "core/ConnectionTree.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace qm {

namespace {
// A family this large finds a child by its text through an index; a
// smaller one (a user's few shares, a share's few files) is searched.
constexpr std::size_t kIndexedFamily = 16;

constexpr std::size_t kNoneFolded = std::numeric_limits<std::size_t>::max();

// A node's place among its siblings, searched from both ends: the tree
// drops old users at the front and whole trees from the back.
std::size_t PositionOf(const std::vector<std::unique_ptr<TreeNode>>& siblings,
                       const TreeNode* node) {
  std::size_t back = siblings.size();
  for (std::size_t front = 0; front < back; ++front) {
    if (siblings[front].get() == node) return front;
    if (siblings[--back].get() == node) return back;
  }
  return siblings.size();
}
}  // namespace

void ConnectionTree::Unindex(TreeNode::Index& index, const TreeNode* node) {
  auto it = index.find(node->text_);
  if (it == index.end()) return;
  auto& v = it->second;
  v.erase(std::remove(v.begin(), v.end(), node), v.end());
  if (v.empty()) index.erase(it);
}

int TreeNode::Row() const {
  const int n = parent_ ? parent_->ChildCount() : tree_->TopLevelCount();
  for (int i = 0; i < n; ++i) {
    if ((parent_ ? parent_->Child(i) : tree_->TopLevel(i)) == this) return i;
  }
  return -1;
}

ConnectionTree::ConnectionTree() = default;

ConnectionTree::~ConnectionTree() = default;

std::vector<std::unique_ptr<TreeNode>>& ConnectionTree::SiblingsOf(TreeNode* parent) {
  return parent ? parent->children_ : roots_;
}

TreeNode::Index* ConnectionTree::IndexOf(TreeNode* parent) {
  return parent ? parent->childIndex_.get() : &topIndex_;
}

void ConnectionTree::CountFolded(TreeNode* from, int delta) {
  folded_ += delta;
  TreeNode* top = nullptr;
  for (TreeNode* p = from; p; p = p->parent_) {
    p->foldedBelow_ += delta;
    top = p;
  }
  // A top-level node that has just got a folded node marks where ExpandAll
  // starts. New users come last, so the search runs from the end.
  if (!top || delta <= 0 || top->foldedBelow_ != delta) return;
  for (std::size_t i = roots_.size(); i-- > 0;) {
    if (roots_[i].get() == top) {
      foldedFrom_ = std::min(foldedFrom_, i);
      return;
    }
  }
}

TreeNode* ConnectionTree::Insert(TreeNode* parent, std::unique_ptr<TreeNode> node) {
  auto& siblings = SiblingsOf(parent);
  node->tree_ = this;
  node->parent_ = parent;
  TreeNode* raw = node.get();
  const bool firstChild = parent && siblings.empty();
  siblings.push_back(std::move(node));
  if (TreeNode::Index* index = IndexOf(parent)) {
    (*index)[raw->text_].push_back(raw);
  } else if (siblings.size() == kIndexedFamily) {
    parent->childIndex_ = std::make_unique<TreeNode::Index>();
    for (const auto& sibling : siblings)
      (*parent->childIndex_)[sibling->text_].push_back(sibling.get());
  }
  if (firstChild && !parent->expanded_) CountFolded(parent, 1);
  ++count_;
  for (TreeObserver* o : observers_) o->NodeInserted(*raw);
  return raw;
}

TreeNode* ConnectionTree::Add(TreeNode* parent, const std::string& text, TTreeNodeCustom* record,
                              std::unique_ptr<TTreeNodeCustom> owned) {
  assert(!owned || owned.get() == record);
  auto node = std::make_unique<TreeNode>();
  node->text_ = text;
  node->data_ = record;
  node->owned_ = std::move(owned);
  return Insert(parent, std::move(node));
}

void ConnectionTree::ForgetSubtree(TreeNode& node) {
  --count_;
  if (selected_ == &node) selected_ = nullptr;
  for (auto& child : node.children_) ForgetSubtree(*child);
}

void ConnectionTree::Delete(TreeNode* node) {
  if (!node) return;
  for (TreeObserver* o : observers_) o->NodeAboutToBeRemoved(*node);
  TreeNode* parent = node->parent_;
  const bool wasSelected = selected_ != nullptr;
  ForgetSubtree(*node);
  auto& siblings = SiblingsOf(parent);
  const std::size_t row = PositionOf(siblings, node);
  assert(row < siblings.size());
  if (TreeNode::Index* index = IndexOf(parent)) Unindex(*index, node);
  if (node->foldedBelow_ > 0) CountFolded(parent, -node->foldedBelow_);
  if (!parent && foldedFrom_ != kNoneFolded && row < foldedFrom_) --foldedFrom_;
  siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(row));
  if (parent && siblings.empty() && !parent->expanded_) CountFolded(parent, -1);
  if (parent && siblings.size() < kIndexedFamily / 2) parent->childIndex_.reset();
  for (TreeObserver* o : observers_) o->NodeRemoved(parent, static_cast<int>(row));
  if (wasSelected && !selected_) {
    for (TreeObserver* o : observers_) o->SelectionChanged(nullptr);
  }
}

std::vector<std::unique_ptr<TTreeNodeCustom>> ConnectionTree::DeleteAll(
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

void ConnectionTree::SetImages(TreeNode* node, int index) {
  if (!node) return;
  node->imageIndex_ = index;
  node->selectedIndex_ = index;
  for (TreeObserver* o : observers_) o->NodeChanged(*node);
}

void ConnectionTree::SetExpanded(TreeNode* node, bool expanded) {
  if (!node || node->expanded_ == expanded) return;
  if (!node->children_.empty()) CountFolded(node, expanded ? -1 : 1);
  node->expanded_ = expanded;
  for (TreeObserver* o : observers_) o->NodeChanged(*node);
}

void ConnectionTree::ExpandFolded(TreeNode& node) {
  if (node.foldedBelow_ == 0) return;
  if (node.Folded()) SetExpanded(&node, true);
  // By index: an observer may change the tree while it hears of an expansion.
  for (std::size_t i = 0; i < node.children_.size() && node.foldedBelow_ > 0; ++i) {
    ExpandFolded(*node.children_[i]);
  }
}

void ConnectionTree::ExpandAll() {
  for (std::size_t i = foldedFrom_; i < roots_.size() && folded_ > 0; ++i) {
    ExpandFolded(*roots_[i]);
  }
  if (folded_ == 0) foldedFrom_ = kNoneFolded;
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

TreeNode* ConnectionTree::LastTopLevelOf(const std::string& text,
                                         const TTreeNodeCustom* record) const {
  auto it = topIndex_.find(text);
  if (it == topIndex_.end()) return nullptr;
  // A connected user's node is among the newest of its name.
  for (auto node = it->second.rbegin(); node != it->second.rend(); ++node) {
    if ((*node)->data_ == record) return *node;
  }
  return nullptr;
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

TreeNode* ConnectionTree::LastChild(const TreeNode& parent, const std::string& text) {
  if (parent.childIndex_) {
    const auto it = parent.childIndex_->find(text);
    return it == parent.childIndex_->end() ? nullptr : it->second.back();
  }
  for (auto it = parent.children_.rbegin(); it != parent.children_.rend(); ++it) {
    if ((*it)->text_ == text) return it->get();
  }
  return nullptr;
}

TreeNode* FindNode(const ConnectionTree& tree, const TreeNode* parent, const std::string& text) {
  return parent ? ConnectionTree::LastChild(*parent, text) : tree.LastTopLevel(text);
}

void MarkSubtreeKicked(TreeNode* node) {
  if (!node) return;
  for (int i = 0; i < node->ChildCount(); ++i) {
    TreeNode* child = node->Child(i);
    // A share or file that ended before keeps how it ended.
    if (child->Data() && child->Data()->IsOpen()) child->Data()->ExitStatus = stKicked;
    MarkSubtreeKicked(child);
  }
}

}  // namespace qm
