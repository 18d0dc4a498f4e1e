// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QIcon>
#include <QList>

namespace qm {

// The images of both connection trees, by the index a node carries: 0 user,
// 1 disk share, 2 print-queue share, 3 generic file, then the file-type
// icons appended by the file icon lookup. One list serves both trees.
class TreeImageList {
 public:
  TreeImageList();

  // Appends an image; its index is the result.
  int Add(const QIcon& icon);
  int Count() const { return static_cast<int>(images_.size()); }
  // An index outside the list gives the generic file image.
  QIcon Image(int index) const;

 private:
  QList<QIcon> images_;
};

}  // namespace qm
