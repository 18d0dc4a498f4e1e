// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <sys/stat.h>

#include <ctime>
#include <string>

namespace qm {

// One version of a file on the disk, as its metadata tells it: a file
// renamed over it has another inode, a write in place changes its size or
// its times. "Nothing there" is a version too.
struct FileStamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{}, changed{};

  // The version at path now (never through a link).
  static FileStamp Of(const std::string& path);
  bool operator==(const FileStamp& other) const;
};

}  // namespace qm
