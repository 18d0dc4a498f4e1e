// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "core/HistoryCommands.h"

#include <unordered_map>

namespace qm {

bool HistoryCommands::DeleteuserfromconnectionlistClick(TreeNode* node) {
  if (!node || node->Parent() || !node->Data()) return false;
  // The present visit of a connected user shares its record with the
  // current tree (and so its enter time).
  const auto* user = dynamic_cast<const TUser*>(node->Data());
  if (UserEntry* current =
          user ? m_.Users.Find(UserKey(node->Text(), user->ClientAddress)) : nullptr;
      current && current->User() == node->Data()) {
    m_.Messages().Information("You cannot delete an active user");
    return false;
  }
  OwningConnectionTree& former = m_.TreeViewFormer;
  former.FreeSubtreeData(node);
  former.Delete(node);  // frees the node's own record
  --m_.FormerUserCount;
  if (!m_.View().CurrentPageActive()) m_.SetStatusUserCount();
  m_.RefreshInfoPanels();
  return true;
}

bool HistoryCommands::ClearformerconnectionsClick() {
  if (!m_.Messages().Confirm("Are you sure?")) return false;
  OwningConnectionTree& former = m_.TreeViewFormer;
  // Records of connections still open belong to the current tree's nodes
  // too: they survive and move to the new former nodes.
  std::unordered_map<const TTreeNodeCustom*, std::unique_ptr<TTreeNodeCustom>> open;
  for (auto& record : former.Clear([](const TTreeNodeCustom& r) { return r.IsOpen(); })) {
    const TTreeNodeCustom* key = record.get();
    open.emplace(key, std::move(record));
  }
  m_.FormerUserCount = m_.CurrentUserCount;
  if (!m_.View().CurrentPageActive()) m_.SetStatusUserCount();
  std::unordered_map<const TreeNode*, TreeNode*> copies;
  m_.TreeViewCurrent.ForEach([&](TreeNode& node) {
    auto it = open.find(node.Data());
    if (it == open.end()) return;
    TreeNode* parent = node.Parent() ? copies[node.Parent()] : nullptr;
    if (node.Parent() && !parent) return;
    TreeNode* copy = former.AddOwned(parent, node.Text(), std::move(it->second));
    former.SetImages(copy, node.ImageIndex());
    former.SetExpanded(copy, node.Expanded());
    copies[&node] = copy;
    open.erase(it);
  });
  former.Select(former.FirstNode());
  m_.RefreshInfoPanels();
  return true;
}

void HistoryCommands::CollapseformerconnectionsClick() {
  m_.TreeViewFormer.CollapseAll();
  if (m_.TreeViewFormer.Selected()) m_.ShowInfo(m_.TreeViewFormer);
}

}  // namespace qm
