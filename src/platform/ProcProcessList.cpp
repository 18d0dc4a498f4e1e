#include "platform/ProcProcessList.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>

namespace qm {

namespace {

// A folder name made of digits only, as a process id.
bool ParseProcessId(const char* name, std::uint32_t& id) {
  if (!*name) return false;
  std::uint64_t value = 0;
  for (const char* p = name; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(*p - '0');
    if (value > 0xFFFFFFFFu) return false;
  }
  id = static_cast<std::uint32_t>(value);
  return true;
}

class ProcSnapshot final : public ProcessSnapshot {
 public:
  ProcSnapshot(ProcProcessList& list, std::vector<std::uint32_t> ids)
      : list_(list), ids_(std::move(ids)) {}

  bool Next(std::string& exeFile) override {
    while (next_ < ids_.size()) {
      if (list_.ExecutablePath(ids_[next_++], exeFile)) return true;
    }
    return false;
  }

 private:
  ProcProcessList& list_;
  std::vector<std::uint32_t> ids_;
  std::size_t next_ = 0;
};

}  // namespace

bool ProcProcessList::ProcessIds(std::vector<std::uint32_t>& ids) const {
  ids.clear();
  DIR* dir = ::opendir(root_.c_str());
  if (!dir) return false;
  while (const dirent* e = ::readdir(dir)) {
    std::uint32_t id = 0;
    if (ParseProcessId(e->d_name, id)) ids.push_back(id);
  }
  ::closedir(dir);
  return true;
}

bool ProcProcessList::EnumProcesses(std::uint32_t* ids, std::uint32_t bytes,
                                    std::uint32_t& bytesReturned) {
  bytesReturned = 0;
  std::vector<std::uint32_t> all;
  if (!ids || !ProcessIds(all)) return false;
  const std::size_t fit = std::min<std::size_t>(all.size(), bytes / sizeof(std::uint32_t));
  std::copy_n(all.begin(), fit, ids);
  bytesReturned = static_cast<std::uint32_t>(fit * sizeof(std::uint32_t));
  return true;
}

bool ProcProcessList::ExecutablePath(std::uint32_t processId, std::string& path) {
  const std::string link = root_ + "/" + std::to_string(processId) + "/exe";
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (n < 0) return false;
    // A result that fills the buffer may have been cut: try a larger one.
    if (static_cast<std::size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(n));
      path = std::move(buffer);
      return true;
    }
    if (buffer.size() >= 65536) return false;
    buffer.resize(buffer.size() * 2);
  }
}

std::unique_ptr<ProcessSnapshot> ProcProcessList::CreateSnapshot() {
  std::vector<std::uint32_t> ids;
  if (!ProcessIds(ids)) return nullptr;
  return std::make_unique<ProcSnapshot>(*this, std::move(ids));
}

}  // namespace qm
