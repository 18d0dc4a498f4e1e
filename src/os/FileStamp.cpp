// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "os/FileStamp.h"

namespace qm {

namespace {
long long Nanoseconds(const timespec& t) {
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}
}  // namespace

FileStamp FileStamp::Of(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return {};
  return Of(st);
}

FileStamp FileStamp::Of(const struct stat& st) {
  return {true,
          st.st_dev,
          st.st_ino,
          static_cast<long long>(st.st_size),
          Nanoseconds(st.st_mtim),
          Nanoseconds(st.st_ctim)};
}

}  // namespace qm
