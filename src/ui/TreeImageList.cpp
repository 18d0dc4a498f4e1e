// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/TreeImageList.h"

#include "core/Resources.h"

namespace qm {

TreeImageList::TreeImageList() {
  images_ = {
      QIcon(QStringLiteral(":/tree/user.svg")), QIcon(QStringLiteral(":/tree/diskshare.svg")),
      QIcon(QStringLiteral(":/tree/printshare.svg")), QIcon(QStringLiteral(":/tree/file.svg"))};
}

int TreeImageList::Add(const QIcon& icon) {
  images_.push_back(icon);
  return Count() - 1;
}

QIcon TreeImageList::Image(int index) const {
  if (index < 0 || index >= Count()) return images_[kImageFile];
  return images_[index];
}

}  // namespace qm
