#pragma once

#include <sys/stat.h>

#include <string>

namespace qm {

// One version of a file: a file renamed over it has another inode, a write
// in place changes its size or its times. A file is read again only when
// its stamp changed.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  long long size = -1;
  long long modified = 0;  // nanoseconds since the epoch
  long long changed = 0;   // the same, of the inode's last change

  static FileStamp Of(const struct stat& st);
  bool operator==(const FileStamp&) const = default;
};

}  // namespace qm
