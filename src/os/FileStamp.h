// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <sys/stat.h>

#include <string>

namespace qm {

// One version of a file on the disk, as its metadata tells it: a file
// renamed over it has another inode, a write in place changes its size or
// its times. "Nothing there" is a version too. A file is read again only
// when its stamp changed.
struct FileStamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  long long size = -1;
  long long modified = 0;  // nanoseconds since the epoch
  long long changed = 0;   // the same, of the inode's last change

  // The version at path now (never through a link).
  static FileStamp Of(const std::string& path);
  // The version that st describes.
  static FileStamp Of(const struct stat& st);
  bool operator==(const FileStamp&) const = default;
};

}  // namespace qm
