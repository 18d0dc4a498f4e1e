// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "core/OwningConnectionTree.h"

namespace qm {

TreeNode* OwningConnectionTree::AddOwned(TreeNode* parent, const std::string& text,
                                         std::unique_ptr<TTreeNodeCustom> record) {
  TTreeNodeCustom* raw = record.get();
  return Add(parent, text, raw, std::move(record));
}

std::unique_ptr<TTreeNodeCustom> OwningConnectionTree::ReleaseRecord(TreeNode* node) {
  ForgetRecord(*node);
  return std::move(OwnedRecord(*node));
}

void OwningConnectionTree::FreeSubtreeData(TreeNode* node) {
  if (!node) return;
  for (int i = 0; i < node->ChildCount(); ++i) {
    TreeNode* child = node->Child(i);
    FreeRecord(child);
    FreeSubtreeData(child);
  }
}

}  // namespace qm
