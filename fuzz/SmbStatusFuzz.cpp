// The `smbstatus --json` reader over any bytes: it never crashes or hangs,
// a refusal says why, and every address it keeps reads as one.
#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/samba/SmbStatusParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  qm::SmbStatus status;
  std::string why;
  if (!qm::SmbStatusParser::Parse(text, status, why)) {
    Check(!why.empty());
    return 0;
  }
  for (const auto& session : status.sessions) {
    const std::string address = qm::SmbStatusParser::AddressOf(session.hostname);
    unsigned char bytes[16];
    Check(address.empty() || ::inet_pton(AF_INET, address.c_str(), bytes) == 1 ||
          ::inet_pton(AF_INET6, address.c_str(), bytes) == 1);
  }
  return 0;
}
