// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/Resources.h"

namespace qm {

class ConnectionTree;

// One node of a connection tree: level 0 a user, 1 a share, 2 an open file.
class TreeNode {
 public:
  const std::string& Text() const { return text_; }
  TTreeNodeCustom* Data() const { return data_; }
  int ImageIndex() const { return imageIndex_; }
  int SelectedIndex() const { return selectedIndex_; }
  TreeNode* Parent() const { return parent_; }
  int Level() const { return parent_ ? parent_->Level() + 1 : 0; }
  int Row() const;  // index among its siblings (a search: not for hot paths)
  int ChildCount() const { return static_cast<int>(children_.size()); }
  TreeNode* Child(int i) const { return children_[static_cast<std::size_t>(i)].get(); }
  bool Expanded() const { return expanded_; }
  ConnectionTree& Tree() const { return *tree_; }

 private:
  friend class ConnectionTree;
  using Index = std::unordered_map<std::string, std::vector<TreeNode*>>;

  bool Folded() const { return !expanded_ && !children_.empty(); }

  ConnectionTree* tree_ = nullptr;
  TreeNode* parent_ = nullptr;
  std::string text_;
  TTreeNodeCustom* data_ = nullptr;
  std::unique_ptr<TTreeNodeCustom> owned_;  // set in the tree that owns records
  int imageIndex_ = 0;
  int selectedIndex_ = 0;
  bool expanded_ = false;
  // Folded nodes in this subtree, this node included: ExpandAll goes only
  // where there are some.
  int foldedBelow_ = 0;
  std::vector<std::unique_ptr<TreeNode>> children_;
  // The children by text, in row order, once there are many of them.
  std::unique_ptr<Index> childIndex_;
};

// What a view of a tree is told. Inserted: after the node is in place.
// AboutToRemove: before the node (with its subtree) goes. Changed: image or
// expansion changed. Reset: everything was replaced.
class TreeObserver {
 public:
  virtual ~TreeObserver() = default;
  virtual void NodeInserted(TreeNode& /*node*/) {}
  virtual void NodeAboutToBeRemoved(TreeNode& /*node*/) {}
  virtual void NodeRemoved(TreeNode* /*parent*/, int /*row*/) {}
  virtual void NodeChanged(TreeNode& /*node*/) {}
  virtual void MadeVisible(TreeNode& /*node*/) {}
  virtual void SelectionChanged(TreeNode* /*node*/) {}
};

// A connection tree as plain data: its nodes, their order, folding and
// selection, and the observers told of every change. Whether the nodes own
// their records is the kind of tree's: OwningConnectionTree (the Former
// tree, whose nodes own the records) or ViewingConnectionTree (the Current
// tree, whose nodes refer to records the Former tree owns).
class ConnectionTree {
 public:
  ConnectionTree(const ConnectionTree&) = delete;
  ConnectionTree& operator=(const ConnectionTree&) = delete;

  // Deletes the node and its subtree. Records owned by these nodes are freed.
  void Delete(TreeNode* node);

  void SetImages(TreeNode* node, int index);
  void SetExpanded(TreeNode* node, bool expanded);
  // Expands every node that has children. The views call it at every
  // tick, so it costs only the nodes that are not expanded yet.
  void ExpandAll();
  void CollapseAll();
  // Expands the node's parents and asks the views to scroll to it.
  void MakeVisible(TreeNode* node);

  int TopLevelCount() const { return static_cast<int>(roots_.size()); }
  TreeNode* TopLevel(int i) const { return roots_[static_cast<std::size_t>(i)].get(); }
  int Count() const { return count_; }  // every node
  bool Empty() const { return roots_.empty(); }

  // Last top-level node with this text, or null (an index keeps this cheap).
  TreeNode* LastTopLevel(const std::string& text) const;
  // The last top-level node with this text that holds record: one client
  // name may belong to several users at once (from several addresses).
  TreeNode* LastTopLevelOf(const std::string& text, const TTreeNodeCustom* record) const;
  // Last child of parent with this text, or null (a large family is indexed).
  static TreeNode* LastChild(const TreeNode& parent, const std::string& text);

  // Visits every node in tree order (a user, its shares and their files).
  void ForEach(const std::function<void(TreeNode&)>& visit) const;
  TreeNode* FirstNode() const { return roots_.empty() ? nullptr : roots_.front().get(); }

  TreeNode* Selected() const { return selected_; }
  void Select(TreeNode* node);

  void AddObserver(TreeObserver* o) { observers_.push_back(o); }
  void RemoveObserver(TreeObserver* o);

 protected:
  ConnectionTree();
  ~ConnectionTree();
  // Appends a node as the last child of parent (top level when null); owned
  // is null or record itself.
  TreeNode* Add(TreeNode* parent, const std::string& text, TTreeNodeCustom* record,
                std::unique_ptr<TTreeNodeCustom> owned);
  // Deletes every node; owned records are freed except those keep() says to
  // hand back, which are returned.
  std::vector<std::unique_ptr<TTreeNodeCustom>> DeleteAll(
      const std::function<bool(const TTreeNodeCustom&)>& keep);
  static std::unique_ptr<TTreeNodeCustom>& OwnedRecord(TreeNode& node) { return node.owned_; }
  static void ForgetRecord(TreeNode& node) { node.data_ = nullptr; }

 private:
  std::vector<std::unique_ptr<TreeNode>>& SiblingsOf(TreeNode* parent);
  TreeNode::Index* IndexOf(TreeNode* parent);
  static void Unindex(TreeNode::Index& index, const TreeNode* node);
  TreeNode* Insert(TreeNode* parent, std::unique_ptr<TreeNode> node);
  void ForgetSubtree(TreeNode& node);  // selection and counts
  void CountFolded(TreeNode* from, int delta);
  void ExpandFolded(TreeNode& node);
  static void Visit(TreeNode& node, const std::function<void(TreeNode&)>& visit);

  std::vector<std::unique_ptr<TreeNode>> roots_;
  TreeNode::Index topIndex_;
  int count_ = 0;
  int folded_ = 0;  // nodes with children that are not expanded
  // No top-level node before this row has a folded node in its subtree.
  std::size_t foldedFrom_ = std::numeric_limits<std::size_t>::max();
  TreeNode* selected_ = nullptr;
  std::vector<TreeObserver*> observers_;
};

// With a parent: its last child (highest index) with this exact text.
// Without: the last top-level node with this text. Null when none.
TreeNode* FindNode(const ConnectionTree& tree, const TreeNode* parent, const std::string& text);

// ExitStatus = stKicked on every descendant that is still open (not on
// the node itself).
void MarkSubtreeKicked(TreeNode* node);

}  // namespace qm
