// The readers of Samba's share sources besides smb.conf: a usershare file
// and a printcap file. Any bytes must give a share (or none) and a list of
// names without crashing.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/samba/SambaServerBackend.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  qm::SambaShare share;
  if (qm::SambaServerBackend::ParseUsershare("pub", text, share) && share.path.empty()) {
    __builtin_trap();
  }
  for (const auto& name : qm::SambaServerBackend::ParsePrintcap(text)) {
    if (name.empty()) __builtin_trap();
  }
  return 0;
}
