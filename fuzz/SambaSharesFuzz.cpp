// The readers of Samba's share sources besides smb.conf: a usershare file
// a printcap file and CUPS' list of queues. Any bytes must give a share (or
// none) and lists of names without crashing.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/samba/SambaShareSources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  qm::SambaShare share;
  if (qm::SambaShareSources::ParseUsershare("pub", text, share) && share.path.empty()) {
    __builtin_trap();
  }
  for (const auto& name : qm::SambaShareSources::ParsePrintcap(text)) {
    if (name.empty()) __builtin_trap();
  }
  for (const auto& name : qm::SambaShareSources::ParseCupsQueues(text)) {
    if (name.empty() || name.find('/') != std::string_view::npos ||
        name.find('\n') != std::string_view::npos) {
      __builtin_trap();
    }
  }
  return 0;
}
