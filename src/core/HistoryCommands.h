// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include "core/Monitor.h"

namespace qm {

// The commands of the main window that change the history (the Former
// Connections tree). All run on the user-interface thread.
class HistoryCommands {
 public:
  explicit HistoryCommands(Monitor& monitor) : m_(monitor) {}

  // Deletes a former visit (a top-level node of the former tree) with
  // everything under it. The visit that is open now is refused with "You
  // cannot delete an active user". True when the node went.
  bool DeleteuserfromconnectionlistClick(TreeNode* node);

  // After "Are you sure?": the former tree holds exactly the connections
  // open now, with the same records. True when it was cleared.
  bool ClearformerconnectionsClick();

  // Collapses every former node and refreshes the selected node's details.
  void CollapseformerconnectionsClick();

 private:
  Monitor& m_;
};

}  // namespace qm
