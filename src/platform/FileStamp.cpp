// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/FileStamp.h"

namespace qm {

FileStamp FileStamp::Of(const std::string& path) {
  FileStamp stamp;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return stamp;
  stamp.exists = true;
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = st.st_size;
  stamp.modified = st.st_mtim;
  stamp.changed = st.st_ctim;
  return stamp;
}

bool FileStamp::operator==(const FileStamp& other) const {
  auto same = [](const timespec& x, const timespec& y) {
    return x.tv_sec == y.tv_sec && x.tv_nsec == y.tv_nsec;
  };
  return exists == other.exists && device == other.device && inode == other.inode &&
         size == other.size && same(modified, other.modified) && same(changed, other.changed);
}

}  // namespace qm
