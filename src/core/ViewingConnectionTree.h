// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>

#include "core/ConnectionTree.h"

namespace qm {

// A tree whose nodes refer to records owned elsewhere (the Current tree,
// over the Former tree's records): each record must outlive its node.
class ViewingConnectionTree final : public ConnectionTree {
 public:
  ViewingConnectionTree() = default;

  // Appends a node showing record as the last child of parent (top level
  // when null).
  TreeNode* Add(TreeNode* parent, const std::string& text, TTreeNodeCustom* record) {
    return ConnectionTree::Add(parent, text, record, nullptr);
  }
  // Deletes every node; the records stay their owners'.
  void Clear() { DeleteAll(nullptr); }
};

}  // namespace qm
