// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/ConnectionTree.h"

namespace qm {

// A tree whose nodes own their records (the Former tree): a record is
// freed when its node is deleted.
class OwningConnectionTree final : public ConnectionTree {
 public:
  OwningConnectionTree() = default;

  // Appends a node owning record as the last child of parent (top level
  // when null).
  TreeNode* AddOwned(TreeNode* parent, const std::string& text,
                     std::unique_ptr<TTreeNodeCustom> record);
  // Deletes every node; the records are freed except those keep() says to
  // hand back, which are returned.
  std::vector<std::unique_ptr<TTreeNodeCustom>> Clear(
      const std::function<bool(const TTreeNodeCustom&)>& keep = nullptr) {
    return DeleteAll(keep);
  }
  // Takes the record out of a node, which stays without one.
  std::unique_ptr<TTreeNodeCustom> ReleaseRecord(TreeNode* node);
  // Frees the record of a node, which stays without one.
  void FreeRecord(TreeNode* node) { ReleaseRecord(node); }
  // Frees the records of every descendant of node, children first in
  // order; the node's own record is kept and no node is deleted.
  void FreeSubtreeData(TreeNode* node);
};

}  // namespace qm
