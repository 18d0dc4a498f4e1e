// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

namespace qm {

// The status-bar progress bar that follows the save of the former
// connections: one step per former user, dropped or written.
class StoreProgress {
 public:
  virtual ~StoreProgress() = default;
  virtual void Start(int maximum) = 0;  // shown, at 0
  virtual void StepIt() = 0;
  virtual void Finish() = 0;  // the save is over
};

}  // namespace qm
