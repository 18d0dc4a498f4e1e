#include "os/FileStamp.h"

namespace qm {

namespace {
long long Nanoseconds(const timespec& t) {
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}
}  // namespace

FileStamp FileStamp::Of(const struct stat& st) {
  return {st.st_dev, st.st_ino, static_cast<long long>(st.st_size), Nanoseconds(st.st_mtim),
          Nanoseconds(st.st_ctim)};
}

}  // namespace qm
