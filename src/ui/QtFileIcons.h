// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QString>

#include "core/Ports.h"

namespace qm {

class TreeImageList;

// The image of an open file from the freedesktop MIME database and the
// icon theme. One image is appended per distinct icon, so the image list
// stops growing once every file type in use has been seen.
class QtFileIcons final : public FileIcons {
 public:
  explicit QtFileIcons(TreeImageList& images);

  int FileIconIndex(const std::string& path) override;

  // The icon a program list entry shows: the executable icon for a file
  // that exists and is a program, otherwise none. Entries are upper-cased,
  // so the file is found without regard to case.
  static QIcon ProgramIcon(const QString& path);
  // The path of an existing file whose path equals this one without regard
  // to case (the path itself when it exists), or "" when there is none.
  static QString ExistingPath(const QString& path);

  // Where the platform gives no icon theme (the offscreen platform, a bare
  // window manager), use an installed one so that file types get icons.
  static void UseInstalledThemeIfNone();

 private:
  // The image of a theme icon, appended at its first use; 3 when the
  // theme has no such icon.
  int IndexOfIcon(const QString& name);

  TreeImageList& images_;
  QMimeDatabase mimes_;
  QHash<QString, int> byIconName_;
  QHash<QString, int> byMimeType_;
};

}  // namespace qm
